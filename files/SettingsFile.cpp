#include "SettingsFile.h"

#include "StrictJson.h"
#include "TextFile.h"

#include "../scan/InkModel.h"
#include "../scan/NumberText.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <optional>
#include <vector>

namespace plotrun {

namespace {

constexpr const char* kFormat = "plotrun-settings";

// One JSON object being read: every value is asked for by its key, and the
// key's full path names it in every refusal.
class Keys {
public:
    Keys(QJsonObject object, QString path) : object_(std::move(object)), path_(std::move(path)) {}

    Keys object(const char* key)
    {
        const QJsonValue v = take(key);
        if (!v.isObject())
            fail(key, "must be an object");
        return Keys(v.toObject(), pathOf(key));
    }

    double number(const char* key)
    {
        const QJsonValue v = take(key);
        if (!v.isDouble() || !std::isfinite(v.toDouble()))
            fail(key, "must be a number");
        return v.toDouble();
    }

    // A whole number, as bitmap positions, the scan width and the threshold are.
    double whole(const char* key)
    {
        const double v = number(key);
        if (v != std::trunc(v) || std::fabs(v) > 2147483647.0)
            fail(key, "must be a whole number");
        return v + 0.0;
    }

    bool flag(const char* key)
    {
        const QJsonValue v = take(key);
        if (!v.isBool())
            fail(key, "must be true or false");
        return v.toBool();
    }

    QString text(const char* key, int maxLength)
    {
        const QJsonValue v = take(key);
        if (!v.isString())
            fail(key, "must be a text");
        const QString s = v.toString();
        if (s.size() > maxLength)
            fail(key, QString("holds more than %1 characters").arg(maxLength));
        return s;
    }

    bool has(const char* key) const { return object_.contains(key); }

    // Every key of the object must have been asked for.
    void noOthers() const
    {
        for (const QString& k : object_.keys())
            if (!seen_.contains(k))
                fail(k, "is not a key of a settings file");
    }

    [[noreturn]] void fail(const QString& key, const QString& problem) const
    {
        throw SettingsFileError(QString("the key \"%1\" %2").arg(pathOf(key), problem).toStdString());
    }

    // A refusal in the words of the checks, named by its key as theirs are.
    [[noreturn]] void failWith(const QString& key, const QString& sentence) const
    {
        throw SettingsFileError(QString("the key \"%1\": %2").arg(pathOf(key), sentence).toStdString());
    }

private:
    QString pathOf(const QString& key) const { return path_.isEmpty() ? key : path_ + "." + key; }

    QJsonValue take(const char* key)
    {
        seen_.insert(key);
        const QJsonValue v = object_.value(key);
        if (v.isUndefined())
            fail(key, "is missing");
        return v;
    }

    QJsonObject object_;
    QString path_;
    QSet<QString> seen_;
};

QJsonObject pair(double x, double y) { return {{"x", x}, {"y", y}}; }

void readPair(Keys& group, const char* key, double& x, double& y, bool whole)
{
    Keys p = group.object(key);
    x = whole ? p.whole("x") : p.number("x");
    y = whole ? p.whole("y") : p.number("y");
    p.noOthers();
}

// --- The groups of the file, one pair of functions each. A group added later
// is optional on reading: a file without it gets the group's start values,
// which leave the new option off.

void writePicture(const SavedSettings& s, QJsonObject& o)
{
    o["picture"] = QJsonObject{{"width", s.pictureWidth}, {"height", s.pictureHeight}};
}

void readPicture(Keys& g, SavedSettings& s)
{
    s.pictureWidth = int32_t(g.whole("width"));
    s.pictureHeight = int32_t(g.whole("height"));
    if (s.pictureWidth < 2)
        g.fail("width", "must be at least 2");
    if (s.pictureHeight < 2)
        g.fail("height", "must be at least 2");
}

void writeCalibration(const SavedSettings& s, QJsonObject& o)
{
    const ScanSettings& r = s.record;
    o["calibration"] = QJsonObject{{"origin", pair(r.OriginX, r.OriginY)},
                                   {"reference", pair(r.RefX, r.RefY)},
                                   {"realOrigin", pair(r.RealOriginX, r.RealOriginY)},
                                   {"realReference", pair(r.RealRefX, r.RealRefY)}};
}

void readCalibration(Keys& g, SavedSettings& s)
{
    ScanSettings& r = s.record;
    readPair(g, "origin", r.OriginX, r.OriginY, true);
    readPair(g, "reference", r.RefX, r.RefY, true);
    readPair(g, "realOrigin", r.RealOriginX, r.RealOriginY, false);
    readPair(g, "realReference", r.RealRefX, r.RealRefY, false);
    r.HasRealOriginX = r.HasRealOriginY = r.HasRealRefX = r.HasRealRefY = true;
}

void writeArea(const SavedSettings& s, QJsonObject& o)
{
    const ScanSettings& r = s.record;
    o["area"] =
        QJsonObject{{"startX", r.ScanStartX}, {"startY", r.ScanStartY}, {"endX", r.ScanEndX}, {"endY", r.ScanEndY}};
}

void readArea(Keys& g, SavedSettings& s)
{
    ScanSettings& r = s.record;
    r.ScanStartX = g.whole("startX");
    r.ScanStartY = g.whole("startY");
    r.ScanEndX = g.whole("endX");
    r.ScanEndY = g.whole("endY");
}

void writeScan(const SavedSettings& s, QJsonObject& o)
{
    const ScanSettings& r = s.record;
    o["scan"] = QJsonObject{{"width", r.ScanWidth}, {"threshold", r.Threshold}, {"weightedX", r.WeightedX}};
}

void readScan(Keys& g, SavedSettings& s)
{
    s.record.ScanWidth = int32_t(g.whole("width"));
    s.record.Threshold = int32_t(g.whole("threshold"));
    s.record.WeightedX = g.flag("weightedX");
}

// The keys of the column names, in the order of Field.
constexpr const char* kNameKeys[kFieldCount] = {"x", "y", "sdev", "sdevY", "bitmapX", "bitmapY"};

void writeOutput(const SavedSettings& s, QJsonObject& o)
{
    const OutputFields& f = s.fields;
    QJsonObject names;
    for (int i = 0; i < kFieldCount; ++i)
        names[kNameKeys[i]] = QString::fromStdString(f.names[i]);
    o["output"] = QJsonObject{{"delimiter", QString::fromStdString(f.delimiter)},
                              {"decimalSeparator", QString::fromStdString(s.decimalSeparator)},
                              {"scanningParameters", f.scanningParameters},
                              {"columnNames", f.columnNames},
                              {"fields", QJsonObject{{"real", f.realCoordinates},
                                                     {"sdev", f.sdev},
                                                     {"sdevY", f.sdevY},
                                                     {"bitmap", f.bitmapCoordinates}}},
                              {"names", names},
                              {"copyToClipboard", s.copyToClipboard}};
}

void readOutput(Keys& g, SavedSettings& s)
{
    OutputFields& f = s.fields;
    f.delimiter = g.text("delimiter", 8).toStdString();
    const QString sep = g.text("decimalSeparator", 1);
    // Each of these would make a number read as another or as two.
    if (sep.size() != 1 || sep[0].isDigit() || QString("+-Ee").contains(sep[0]) ||
        sep[0].category() == QChar::Other_Control)
        g.fail("decimalSeparator", "must be one character other than a digit, a sign, E, e or a control character");
    s.decimalSeparator = sep.toStdString();
    if (!delimiterIsValid(f.delimiter, s.decimalSeparator))
        g.failWith("delimiter", kInvalidDelimiterText);
    f.scanningParameters = g.flag("scanningParameters");
    f.columnNames = g.flag("columnNames");
    Keys fields = g.object("fields");
    f.realCoordinates = fields.flag("real");
    f.sdev = fields.flag("sdev");
    f.sdevY = fields.flag("sdevY");
    f.bitmapCoordinates = fields.flag("bitmap");
    fields.noOthers();
    if (!f.realCoordinates && !f.sdev && !f.sdevY && !f.bitmapCoordinates)
        g.fail("fields", "must include at least one output field");
    Keys names = g.object("names");
    for (int i = 0; i < kFieldCount; ++i)
        f.names[i] = names.text(kNameKeys[i], 40).toStdString();
    names.noOthers();
    s.copyToClipboard = g.flag("copyToClipboard");
}

void writeAxes(const SavedSettings& s, QJsonObject& o)
{
    o["axes"] = QJsonObject{{"logX", s.record.LogX}, {"logY", s.record.LogY}};
}

void readAxes(Keys& g, SavedSettings& s)
{
    s.record.LogX = g.flag("logX");
    s.record.LogY = g.flag("logY");
}

void writeInk(const SavedSettings& s, QJsonObject& o)
{
    const InkSettings& k = s.record.Ink;
    o["ink"] = QJsonObject{{"on", k.On},
                           {"ink", QString::fromStdString(colourText(k.Ink))},
                           {"paper", QString::fromStdString(colourText(k.Paper))},
                           {"tolerance", k.Tolerance}};
}

uint32_t readColourKey(Keys& g, const char* key)
{
    const std::optional<uint32_t> c = readColour(g.text(key, 16).toStdString());
    if (!c)
        g.fail(key, "must be a colour as \"#rrggbb\" or \"R,G,B\" (each 0 to 255)");
    return *c;
}

void readInk(Keys& g, SavedSettings& s)
{
    InkSettings& k = s.record.Ink;
    k.On = g.flag("on");
    k.Ink = readColourKey(g, "ink");
    k.Paper = readColourKey(g, "paper");
    k.Tolerance = int32_t(g.whole("tolerance")); // its range is the options checks'
}

// Curve following and line removal; written only when they differ from the
// start values, so that older files and files without them stay alike.
void writeFollow(const SavedSettings& s, QJsonObject& o)
{
    const FollowSettings& f = s.record.Follow;
    if (f == FollowSettings{})
        return;
    o["follow"] = QJsonObject{{"on", f.On},           {"removeLines", f.RemoveLines}, {"gap", f.Gap},
                              {"maxJump", f.MaxJump}, {"startX", f.StartX},           {"startY", f.StartY}};
}

void readFollow(Keys& g, SavedSettings& s)
{
    FollowSettings& f = s.record.Follow;
    f.On = g.flag("on");
    f.RemoveLines = g.flag("removeLines");
    f.Gap = int32_t(g.whole("gap"));
    if (f.Gap < 1)
        g.fail("gap", "must be 1 or more");
    f.MaxJump = int32_t(g.whole("maxJump"));
    if (f.MaxJump < 0)
        g.fail("maxJump", "must be 0 (a tenth of the area height) or more");
    f.StartX = g.whole("startX");
    f.StartY = g.whole("startY");
}

struct SettingsGroup {
    const char* key;
    bool required; // the groups of the first version; later ones may be absent
    void (*write)(const SavedSettings&, QJsonObject&);
    void (*read)(Keys&, SavedSettings&);
};

const SettingsGroup kGroups[] = {
    {"picture", true, writePicture, readPicture},
    {"calibration", true, writeCalibration, readCalibration},
    {"area", true, writeArea, readArea},
    {"scan", true, writeScan, readScan},
    {"output", true, writeOutput, readOutput},
    {"axes", false, writeAxes, readAxes},
    {"ink", false, writeInk, readInk},
    {"follow", false, writeFollow, readFollow},
};

std::string exactNumber(double v)
{
    char buf[64];
    const auto end = std::to_chars(buf, buf + sizeof buf, v).ptr;
    return std::string(buf, end);
}

// The key each message of the options checks is about, by the message's start.
const std::pair<const char*, const char*> kMessageKeys[] = {
    {"Invalid X start", "area.startX"},
    {"Start X scan", "area.startX"},
    {"Invalid X end", "area.endX"},
    {"End X scan", "area.endX"},
    {"Invalid Y start", "area.startY"},
    {"Start Y scan", "area.startY"},
    {"Invalid Y end", "area.endY"},
    {"End Y scan", "area.endY"},
    {"Invalid scan width", "scan.width"},
    {"Scan width", "scan.width"},
    {"Invalid threshold", "scan.threshold"},
    {"Threshold", "scan.threshold"},
    {"Origin X", "calibration.origin.x"},
    {"Origin Y", "calibration.origin.y"},
    {"Reference X", "calibration.reference.x"},
    {"Reference Y", "calibration.reference.y"},
    {"Real origin X", "calibration.realOrigin.x"},
    {"Real origin Y", "calibration.realOrigin.y"},
    {"Real reference X", "calibration.realReference.x"},
    {"Real reference Y", "calibration.realReference.y"},
    {"Real X", "calibration.realReference.x"},
    {"Real Y", "calibration.realReference.y"},
    {"Invalid ink tolerance", "ink.tolerance"},
    {"Ink tolerance", "ink.tolerance"},
    {"Ink and paper", "ink.paper"},
};

} // namespace

QByteArray settingsToJson(const SavedSettings& s)
{
    QJsonObject o{{"format", kFormat}, {"version", kSettingsVersion}};
    for (const SettingsGroup& g : kGroups)
        g.write(s, o);
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

SavedSettings settingsFromJson(const QByteArray& json)
{
    // Before Qt's reader, which would take a key given twice, or "128.".
    if (const QString problem = strictJsonProblem(json); !problem.isEmpty())
        throw SettingsFileError(problem.toStdString());
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (doc.isNull())
        throw SettingsFileError(
            QString("it is not JSON: %1 at character %2").arg(error.errorString()).arg(error.offset).toStdString());
    if (!doc.isObject())
        throw SettingsFileError("it is not a JSON object");
    Keys top(doc.object(), {});
    if (top.text("format", 100) != kFormat)
        top.fail("format", QString("must be \"%1\"").arg(kFormat));
    const double version = top.whole("version");
    if (version != kSettingsVersion)
        top.fail("version", QString("is %1, a version this program cannot read (it reads version %2)")
                                .arg(version)
                                .arg(kSettingsVersion));
    SavedSettings s;
    for (const SettingsGroup& g : kGroups) {
        if (!g.required && !top.has(g.key))
            continue;
        Keys group = top.object(g.key);
        g.read(group, s);
        group.noOthers();
    }
    top.noOthers();

    const OptionVerdict v = checkSettings(s.record, s.pictureWidth, s.pictureHeight);
    if (!v.inputValid)
        throw SettingsFileError(messagesWithKeys(v.messages));
    s.record = v.record;
    return s;
}

SavedSettings readSettingsFile(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw SettingsFileError(
            QString("Cannot open settings file \"%1\": %2").arg(path, file.errorString()).toStdString());
    // A settings file is a few hundred bytes; anything far larger is not one.
    const QByteArray bytes = file.read(1 << 20);
    try {
        if (!file.atEnd())
            throw SettingsFileError("it is larger than a settings file can be");
        return settingsFromJson(bytes);
    } catch (const SettingsFileError& e) {
        throw SettingsFileError(QString("The settings file \"%1\" cannot be used: %2")
                                    .arg(name, QString::fromStdString(e.what()))
                                    .toStdString());
    }
}

QString writeSettingsFile(const QString& path, const SavedSettings& settings)
{
    return writeTextFile(path, settingsToJson(settings).toStdString());
}

OptionBoxes exactBoxes(const ScanSettings& r)
{
    OptionBoxes b;
    b.SelSW = formatWhole(r.ScanWidth);
    b.Threshold = formatWhole(r.Threshold);
    b.SelWt = r.WeightedX;
    b.LogXCheckBox = r.LogX;
    b.LogYCheckBox = r.LogY;
    b.InkCheckBox = r.Ink.On;
    b.InkColour = r.Ink.Ink;
    b.PaperColour = r.Ink.Paper;
    b.SelInkTol = formatWhole(r.Ink.Tolerance);
    b.FollowCheckBox = r.Follow.On;
    b.RemoveLinesCheckBox = r.Follow.RemoveLines;
    const std::pair<std::string OptionBoxes::*, double> values[] = {
        {&OptionBoxes::SelOX, r.OriginX},      {&OptionBoxes::SelOY, r.OriginY},
        {&OptionBoxes::SelX, r.RefX},          {&OptionBoxes::SelY, r.RefY},
        {&OptionBoxes::SelOXR, r.RealOriginX}, {&OptionBoxes::SelOYR, r.RealOriginY},
        {&OptionBoxes::SelXR, r.RealRefX},     {&OptionBoxes::SelYR, r.RealRefY},
        {&OptionBoxes::SelSX1, r.ScanStartX},  {&OptionBoxes::SelSY1, r.ScanStartY},
        {&OptionBoxes::SelSX2, r.ScanEndX},    {&OptionBoxes::SelSY2, r.ScanEndY}};
    for (const auto& [box, v] : values)
        b.*box = exactNumber(v);
    return b;
}

OptionVerdict checkSettings(const ScanSettings& record, int32_t width, int32_t height)
{
    return checkOptions(exactBoxes(record), record, width, height, ".");
}

std::string messagesWithKeys(const std::string& messages)
{
    std::string out;
    size_t at = 0;
    while (at < messages.size()) {
        size_t end = messages.find('\n', at);
        if (end == std::string::npos)
            end = messages.size();
        const std::string line = messages.substr(at, end - at);
        at = end + 1;
        const char* key = nullptr;
        for (const auto& [start, k] : kMessageKeys)
            if (line.rfind(start, 0) == 0) {
                key = k;
                break;
            }
        out += key ? "the key \"" + std::string(key) + "\": " + line : line;
        out += '\n';
    }
    return out;
}

ScanSettings scaledToPicture(const SavedSettings& s, int32_t width, int32_t height)
{
    ScanSettings r = s.record;
    const double fx = double(width) / s.pictureWidth, fy = double(height) / s.pictureHeight;
    // Unset positions (-1) stay unset.
    const auto scale = [](double& v, double f) {
        if (v >= 0)
            v = std::round(v * f);
    };
    for (double* x : {&r.OriginX, &r.RefX, &r.ScanStartX, &r.ScanEndX})
        scale(*x, fx);
    for (double* y : {&r.OriginY, &r.RefY, &r.ScanStartY, &r.ScanEndY})
        scale(*y, fy);
    r.ScanWidth = int32_t(std::max(1.0, std::round(r.ScanWidth * fx)));
    // Following's Start mark, and its gap and jump in rows, belong to the
    // picture's pixels as much as the marks do; a jump of 0 (a tenth of the
    // area) scales by itself. Unused, they stay as they are.
    scale(r.Follow.StartX, fx);
    scale(r.Follow.StartY, fy);
    if (r.Follow.On || r.Follow.RemoveLines) {
        if (r.Follow.MaxJump > 0)
            r.Follow.MaxJump = int32_t(std::clamp(std::round(r.Follow.MaxJump * fy), 1.0, 2147483647.0));
        r.Follow.Gap = int32_t(std::clamp(std::round(r.Follow.Gap * fy), 1.0, 2147483647.0));
    }
    return r;
}

} // namespace plotrun
