#include "sim/profile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <cstdio>
#include <set>
#include <string_view>

// The profiles live in a static library, whose resource registration the linker would drop
// unless something names it.
static void RegisterBuiltinProfiles() { Q_INIT_RESOURCE(profiles); }

namespace kline::sim {

namespace {

struct KindName {
  LiveKind kind;
  std::string_view name;
};

constexpr KindName kKindNames[] = {
    {LiveKind::kRpm, "rpm"},
    {LiveKind::kInjectionMs, "injection_ms"},
    {LiveKind::kAdvanceDeg, "advance_deg"},
    {LiveKind::kPressureMbar, "pressure_mbar"},
    {LiveKind::kTempC, "temp_c"},
    {LiveKind::kThrottleDeg, "throttle_deg"},
    {LiveKind::kBatteryV, "battery_v"},
    {LiveKind::kTrimmer, "trimmer"},
    {LiveKind::kRaw, "raw"},
};

// Collects the first problem met while reading; later reads become no-ops.
class Reader {
 public:
  bool failed() const { return !error_.empty(); }
  const std::string& error() const { return error_; }

  void Fail(const std::string& where, const std::string& what) {
    if (error_.empty()) error_ = where + ": " + what;
  }

  void CheckKeys(const QJsonObject& object, const std::string& where,
                 std::initializer_list<const char*> known) {
    for (const QString& key : object.keys()) {
      bool found = false;
      for (const char* name : known) found = found || key == QLatin1String(name);
      if (!found) Fail(where, "unknown key \"" + key.toStdString() + "\"");
    }
  }

  std::optional<uint8_t> Byte(const QJsonValue& value, const std::string& where) {
    if (!value.isString()) {
      Fail(where, "expected a byte as two hex digits");
      return std::nullopt;
    }
    return ByteText(value.toString(), where);
  }

  std::optional<uint8_t> ByteText(const QString& text, const std::string& where) {
    bool ok = false;
    const uint value = text.toUInt(&ok, 16);
    if (!ok || text.size() != 2 || value > 0xFF) {
      Fail(where, "\"" + text.toStdString() + "\" is not a byte as two hex digits");
      return std::nullopt;
    }
    return static_cast<uint8_t>(value);
  }

  std::vector<uint8_t> Bytes(const QJsonValue& value, const std::string& where) {
    std::vector<uint8_t> bytes;
    if (!value.isString()) {
      Fail(where, "expected hex bytes separated by blanks");
      return bytes;
    }
    for (const QString& part : value.toString().split(' ', Qt::SkipEmptyParts)) {
      if (std::optional<uint8_t> byte = ByteText(part, where)) bytes.push_back(*byte);
    }
    return bytes;
  }

  double Number(const QJsonObject& object, const char* key, const std::string& where,
                double fallback) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined()) return fallback;
    if (!value.isDouble()) {
      Fail(where, std::string("\"") + key + "\" must be a number");
      return fallback;
    }
    return value.toDouble();
  }

  int Millis(const QJsonObject& object, const char* key, const std::string& where, int fallback) {
    const double value = Number(object, key, where, fallback);
    if (value < 0 || value > 600000) Fail(where, std::string("\"") + key + "\" out of range");
    return static_cast<int>(std::lround(value));
  }

  // Every request has one answer at a time: refuse a second definition.
  void Claim(uint8_t request, const std::string& where) {
    if (!claimed_.insert(request).second) {
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02X", request);
      Fail(where, std::string("request ") + hex + " is already defined");
    }
  }

 private:
  std::string error_;
  std::set<uint8_t> claimed_;
};

void ReadTexts(Reader& reader, const QJsonObject& texts, Profile& profile) {
  for (const QString& key : texts.keys()) {
    const std::string where = "texts." + key.toStdString();
    const std::optional<uint8_t> first = reader.ByteText(key, where);
    const QJsonValue value = texts.value(key);
    if (!first || !value.isString()) {
      reader.Fail(where, "expected a text");
      continue;
    }
    const QByteArray latin1 = value.toString().toLatin1();
    for (qsizetype i = 0; i < latin1.size(); ++i) {
      const int request = *first + static_cast<int>(i);
      if (request > 0xFF) {
        reader.Fail(where, "text runs past request FF");
        break;
      }
      reader.Claim(static_cast<uint8_t>(request), where);
      profile.answers[static_cast<uint8_t>(request)] = static_cast<uint8_t>(latin1.at(i));
    }
  }
}

void ReadAnswers(Reader& reader, const QJsonObject& answers, Profile& profile) {
  for (const QString& key : answers.keys()) {
    const std::string where = "answers." + key.toStdString();
    const std::optional<uint8_t> request = reader.ByteText(key, where);
    const std::optional<uint8_t> answer = reader.Byte(answers.value(key), where);
    if (!request || !answer) continue;
    reader.Claim(*request, where);
    profile.answers[*request] = *answer;
  }
}

void ReadLive(Reader& reader, const QJsonArray& live, Profile& profile) {
  for (qsizetype i = 0; i < live.size(); ++i) {
    const std::string where = "live[" + std::to_string(i) + "]";
    const QJsonObject object = live.at(i).toObject();
    reader.CheckKeys(object, where, {"request", "kind", "idle", "rev", "ripple"});
    LiveChannel channel;
    const std::optional<uint8_t> request = reader.Byte(object.value("request"), where);
    const std::string kind = object.value("kind").toString().toStdString();
    bool known = false;
    for (const KindName& row : kKindNames) {
      if (row.name == kind) {
        channel.kind = row.kind;
        known = true;
      }
    }
    if (!known) reader.Fail(where, "unknown kind \"" + kind + "\"");
    if (!request) continue;
    channel.request = *request;
    if (channel.request + LiveRequestCount(channel.kind) > 0x100) {
      reader.Fail(where, "channel runs past request FF");
      continue;
    }
    for (int k = 0; k < LiveRequestCount(channel.kind); ++k) {
      reader.Claim(static_cast<uint8_t>(channel.request + k), where);
    }
    channel.idle = reader.Number(object, "idle", where, 0);
    channel.rev = reader.Number(object, "rev", where, channel.idle);
    channel.ripple = reader.Number(object, "ripple", where, 0);
    if (channel.kind == LiveKind::kRpm && (channel.idle <= 0 || channel.rev <= 0)) {
      reader.Fail(where, "engine speed must be above 0");
    }
    profile.live.push_back(channel);
  }
}

void ReadDiagnostic(Reader& reader, const QJsonObject& diag, Profile& profile) {
  reader.CheckKeys(diag, "diagnostic", {"enter", "leave", "tests"});
  if (diag.contains("enter")) {
    profile.diag_enter_answer = reader.Byte(diag.value("enter"), "diagnostic.enter").value_or(0);
  }
  if (diag.contains("leave")) {
    profile.diag_leave_answer = reader.Byte(diag.value("leave"), "diagnostic.leave").value_or(0);
  }
  const QJsonObject tests = diag.value("tests").toObject();
  for (const QString& key : tests.keys()) {
    const std::string where = "diagnostic.tests." + key.toStdString();
    const std::optional<uint8_t> request = reader.ByteText(key, where);
    const QJsonObject object = tests.value(key).toObject();
    reader.CheckKeys(object, where, {"first", "final", "after_ms"});
    ActuatorTest test;
    test.first = reader.Byte(object.value("first"), where).value_or(0);
    if (object.contains("final")) test.final_answer = reader.Byte(object.value("final"), where);
    test.delay_ms = reader.Millis(object, "after_ms", where, 0);
    if (request) profile.tests[*request] = test;
  }
}

}  // namespace

int LiveRequestCount(LiveKind kind) {
  return kind == LiveKind::kRpm || kind == LiveKind::kInjectionMs ? 2 : 1;
}

std::optional<Profile> ParseProfile(const QByteArray& json, std::string* error) {
  QJsonParseError parse_error{};
  const QJsonDocument document = QJsonDocument::fromJson(json, &parse_error);
  if (document.isNull() || !document.isObject()) {
    if (error) {
      *error = "not a JSON object: " + parse_error.errorString().toStdString() + " at offset " +
               std::to_string(parse_error.offset);
    }
    return std::nullopt;
  }
  const QJsonObject root = document.object();
  Reader reader;
  reader.CheckKeys(root, "profile",
                   {"type", "wake_up", "working_baud", "latency_ms", "iso_code", "iso_delay_ms",
                    "iso_last_gap_ms", "wake_up_bytes", "wake_up_gap_ms", "wake_up_switch_ms",
                    "texts", "answers", "live", "rev_cycle_s", "diagnostic"});
  Profile profile;
  const std::optional<EcuType> type = EcuTypeFromName(root.value("type").toString().toStdString());
  if (!type) reader.Fail("type", "expected one of 15m, 15Rc, 16m, P8");
  profile.type = type.value_or(EcuType::k15m);
  profile.needs_wake_up = root.value("wake_up").toBool(profile.type != EcuType::kP8);
  profile.working_baud =
      static_cast<int32_t>(reader.Number(root, "working_baud", "working_baud", 7812));
  if (profile.working_baud < 50 || profile.working_baud > 115200) {
    reader.Fail("working_baud", "out of range");
  }
  const double latency_ms = reader.Number(root, "latency_ms", "latency_ms", 2);
  if (latency_ms < 0 || latency_ms > 60000) reader.Fail("latency_ms", "out of range");
  profile.latency_us = static_cast<int>(std::lround(latency_ms * 1000));
  if (root.contains("iso_code"))
    profile.iso_code = reader.Bytes(root.value("iso_code"), "iso_code");
  profile.iso_delay_ms = reader.Millis(root, "iso_delay_ms", "iso_delay_ms", 50);
  profile.iso_last_gap_ms = reader.Millis(root, "iso_last_gap_ms", "iso_last_gap_ms", 0);
  if (root.contains("wake_up_bytes")) {
    profile.wake_up_bytes = reader.Bytes(root.value("wake_up_bytes"), "wake_up_bytes");
    if (profile.wake_up_bytes.empty()) reader.Fail("wake_up_bytes", "must not be empty");
  }
  if (root.contains("wake_up_gap_ms")) {
    const QJsonArray gap = root.value("wake_up_gap_ms").toArray();
    if (gap.size() != 2 || !gap.at(0).isDouble() || !gap.at(1).isDouble() ||
        gap.at(0).toDouble() > gap.at(1).toDouble() || gap.at(0).toDouble() < 0) {
      reader.Fail("wake_up_gap_ms", "expected [smallest, largest] in ms");
    } else {
      profile.wake_up_min_gap_ms = gap.at(0).toInt();
      profile.wake_up_max_gap_ms = gap.at(1).toInt();
    }
  }
  profile.wake_up_switch_ms =
      reader.Millis(root, "wake_up_switch_ms", "wake_up_switch_ms", profile.wake_up_switch_ms);
  ReadTexts(reader, root.value("texts").toObject(), profile);
  ReadAnswers(reader, root.value("answers").toObject(), profile);
  ReadLive(reader, root.value("live").toArray(), profile);
  const QJsonObject cycle = root.value("rev_cycle_s").toObject();
  reader.CheckKeys(cycle, "rev_cycle_s", {"idle", "rise", "hold", "fall"});
  profile.rev_cycle.idle_s = reader.Number(cycle, "idle", "rev_cycle_s", profile.rev_cycle.idle_s);
  profile.rev_cycle.rise_s = reader.Number(cycle, "rise", "rev_cycle_s", profile.rev_cycle.rise_s);
  profile.rev_cycle.hold_s = reader.Number(cycle, "hold", "rev_cycle_s", profile.rev_cycle.hold_s);
  profile.rev_cycle.fall_s = reader.Number(cycle, "fall", "rev_cycle_s", profile.rev_cycle.fall_s);
  const RevCycle& c = profile.rev_cycle;
  if (c.idle_s < 0 || c.rise_s < 0 || c.hold_s < 0 || c.fall_s < 0 ||
      c.idle_s + c.rise_s + c.hold_s + c.fall_s <= 0) {
    reader.Fail("rev_cycle_s", "phases must be at least 0 and not all 0");
  }
  ReadDiagnostic(reader, root.value("diagnostic").toObject(), profile);
  if (reader.failed()) {
    if (error) *error = reader.error();
    return std::nullopt;
  }
  return profile;
}

std::optional<Profile> LoadProfile(const QString& path, std::string* error) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    if (error) *error = path.toStdString() + ": " + file.errorString().toStdString();
    return std::nullopt;
  }
  std::string problem;
  std::optional<Profile> profile = ParseProfile(file.readAll(), &problem);
  if (!profile && error) *error = path.toStdString() + ": " + problem;
  return profile;
}

Profile BuiltinProfile(EcuType type) {
  RegisterBuiltinProfiles();
  const QString path =
      QStringLiteral(":/sim/profiles/%1.json")
          .arg(QString::fromUtf8(EcuTypeName(type).data(),
                                 static_cast<qsizetype>(EcuTypeName(type).size())));
  std::string error;
  std::optional<Profile> profile = LoadProfile(path, &error);
  // The compiled-in files are checked by the tests; reaching this is a build fault.
  if (!profile) qFatal("built-in profile: %s", error.c_str());
  return *profile;
}

}  // namespace kline::sim
