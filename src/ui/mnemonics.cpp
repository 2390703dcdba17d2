#include "ui/mnemonics.h"

#include <QAbstractButton>
#include <QHash>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <vector>

namespace kline::ui {

namespace {

constexpr QChar kMark = QLatin1Char('&');

// Where the Alt letter of `caption` is, after its '&'; -1 where it has none. "&&" is a
// literal ampersand, not a mark.
qsizetype MarkedAt(const QString& caption) {
  for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
    if (caption.at(i) != kMark) continue;
    if (caption.at(i + 1) != kMark) return i + 1;
    ++i;
  }
  return -1;
}

// Where Alt could go in `caption`: the starts of words first, then the other letters and
// digits, each letter once.
QList<qsizetype> Places(const QString& caption) {
  const qsizetype marked = MarkedAt(caption);
  if (marked >= 0) return {marked};
  QList<qsizetype> places;
  QString seen;
  for (bool word_start : {true, false}) {
    for (qsizetype i = 0; i < caption.size(); ++i) {
      const QChar letter = caption.at(i).toLower();
      if (!letter.isLetterOrNumber() || seen.contains(letter)) continue;
      if (word_start && i > 0 && caption.at(i - 1).isLetterOrNumber()) continue;
      seen += letter;
      places << i;
    }
  }
  return places;
}

// A matching of captions to letters: caption `i` takes a letter, moving the caption that held
// it to another of its own where that one can move.
class Matching {
 public:
  explicit Matching(const QStringList& captions) : captions_(captions) {
    for (const QString& caption : captions) places_ << Places(caption);
  }

  QStringList Marked() {
    for (qsizetype i = 0; i < captions_.size(); ++i) {
      tried_.clear();
      Take(i);
    }
    QStringList marked = captions_;
    for (qsizetype i = 0; i < marked.size(); ++i) {
      if (chosen_[i] >= 0 && MarkedAt(captions_[i]) < 0) marked[i].insert(chosen_[i], kMark);
    }
    return marked;
  }

 private:
  bool Take(qsizetype i) {
    for (qsizetype place : places_[i]) {
      const QChar letter = captions_[i].at(place).toLower();
      if (tried_.contains(letter)) continue;
      tried_ += letter;
      const qsizetype holder = holders_.value(letter, -1);
      if (holder < 0 || Take(holder)) {
        holders_[letter] = i;
        chosen_[i] = place;
        return true;
      }
    }
    return false;
  }

  const QStringList& captions_;
  QList<QList<qsizetype>> places_;
  std::vector<qsizetype> chosen_ = std::vector<qsizetype>(captions_.size(), -1);
  QHash<QChar, qsizetype> holders_;
  QString tried_;
};

}  // namespace

QStringList WithMnemonics(const QStringList& captions) { return Matching(captions).Marked(); }

QString KeepMnemonic(const QString& shown, const QString& caption) {
  const qsizetype marked = MarkedAt(shown);
  if (marked < 0) return caption;
  const qsizetype at = caption.indexOf(shown.at(marked), 0, Qt::CaseInsensitive);
  if (at < 0) return caption;
  QString with_mark = caption;
  return with_mark.insert(at, kMark);
}

void AddMnemonics(QWidget& window) {
  QList<QAction*> titles;
  if (auto* main = qobject_cast<QMainWindow*>(&window)) titles = main->menuBar()->actions();
  QList<QAbstractButton*> buttons;
  QStringList captions;
  for (const QAction* title : titles) captions << title->text();
  for (QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
    if (button->text().isEmpty()) continue;
    buttons << button;
    captions << button->text();
  }
  captions = WithMnemonics(captions);
  for (qsizetype i = 0; i < titles.size(); ++i) {
    titles[i]->setText(captions[i]);
    if (titles[i]->menu() != nullptr) AddMnemonics(*titles[i]->menu());
  }
  for (qsizetype i = 0; i < buttons.size(); ++i) buttons[i]->setText(captions[titles.size() + i]);
}

void AddMnemonics(QMenu& menu) {
  QList<QAction*> captioned;
  QStringList captions;
  for (QAction* action : menu.actions()) {
    if (action->isSeparator() || action->text().isEmpty()) continue;
    captioned << action;
    captions << action->text();
  }
  captions = WithMnemonics(captions);
  for (qsizetype i = 0; i < captioned.size(); ++i) captioned[i]->setText(captions[i]);
}

}  // namespace kline::ui
