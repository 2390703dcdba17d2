// Alt-key letters for the captions of a window and its menus, so that every menu and captioned
// button can be reached from the keyboard. The words of a caption never change; only an '&'
// goes in front of the letter that Alt picks.
#pragma once

#include <QStringList>

class QMenu;
class QWidget;

namespace kline::ui {

// `captions` with an Alt letter each, no two alike, for the captions of one window or one menu.
// The letters are chosen together: picked one caption at a time, the early captions could use
// up every letter of a late one. The first letter of a word is preferred; a caption that
// already has its '&' keeps it. A caption left with no free letter stays as it is.
QStringList WithMnemonics(const QStringList& captions);

// `caption` with the same Alt letter as `shown` had, where the caption has that letter: a box
// whose caption the engine swaps (Connect, Disconnect) keeps one key for both.
QString KeepMnemonic(const QString& shown, const QString& caption);

// Marks the titles in the menu bar of a main window, then the captioned buttons under
// `window`, all in one set; each menu's actions get a set of their own, as Alt reaches them
// only while that menu is open.
void AddMnemonics(QWidget& window);
void AddMnemonics(QMenu& menu);

}  // namespace kline::ui
