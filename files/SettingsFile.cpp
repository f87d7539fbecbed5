#include "SettingsFile.h"

#include "StrictJson.h"
#include "TextFile.h"

#include "../scan/InkModel.h"
#include "../scan/NumberText.h"
#include "../scan/ScanOptions.h"
#include "../scan/Series.h"

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
#include <map>
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

    Keys object(const QString& key)
    {
        const QJsonValue v = take(key);
        if (!v.isObject())
            fail(key, "must be an object");
        return Keys(v.toObject(), pathOf(key));
    }

    double number(const QString& key)
    {
        const QJsonValue v = take(key);
        if (!v.isDouble() || !std::isfinite(v.toDouble()))
            fail(key, "must be a number");
        return v.toDouble();
    }

    // A whole number, as bitmap positions, the scan width and the threshold are.
    double whole(const QString& key)
    {
        const double v = number(key);
        if (v != std::trunc(v) || std::fabs(v) > 2147483647.0)
            fail(key, "must be a whole number");
        return v + 0.0;
    }

    bool flag(const QString& key)
    {
        const QJsonValue v = take(key);
        if (!v.isBool())
            fail(key, "must be true or false");
        return v.toBool();
    }

    QString text(const QString& key, int maxLength)
    {
        const QJsonValue v = take(key);
        if (!v.isString())
            fail(key, "must be a text");
        const QString s = v.toString();
        if (s.size() > maxLength)
            fail(key, QString("holds more than %1 characters").arg(maxLength));
        return s;
    }

    QJsonArray array(const QString& key)
    {
        const QJsonValue v = take(key);
        if (!v.isArray())
            fail(key, "must be a list");
        return v.toArray();
    }

    // An object found inside one of this object's values (a list's item),
    // named by its path from here.
    Keys inner(const QJsonObject& object, const QString& key) const { return Keys(object, pathOf(key)); }

    bool has(const QString& key) const { return object_.contains(key); }

    // Every key of the object must have been asked for.
    void noOthers() const
    {
        for (const QString& k : object_.keys())
            if (!seen_.contains(k))
                fail(k, "is not a key of a settings file");
    }

    [[noreturn]] void fail(const QString& key, const QString& problem) const
    {
        throw SettingsFileError(QString("the key \"%1\" %2").arg(printableKey(pathOf(key)), problem).toStdString());
    }

    // A refusal in the words of the checks, named by its key as theirs are.
    [[noreturn]] void failWith(const QString& key, const QString& sentence) const
    {
        throw SettingsFileError(QString("the key \"%1\": %2").arg(printableKey(pathOf(key)), sentence).toStdString());
    }

private:
    QString pathOf(const QString& key) const { return path_.isEmpty() ? key : path_ + "." + key; }

    QJsonValue take(const QString& key)
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

// A dotted key's object path and its own name: "calibration.origin" and "x".
std::pair<QString, QString> splitKey(const QString& key)
{
    const qsizetype dot = key.lastIndexOf('.');
    return {key.left(std::max<qsizetype>(dot, 0)), key.mid(dot + 1)};
}

QString groupOf(const char* key) { return QString(key).section('.', 0, 0); }

// The keys of the column names, in the order of Field.
constexpr const char* kNameKeys[kFieldCount] = {"x",       "y",  "sdev", "sdevY", "bitmapX",
                                                "bitmapY", "ux", "uy",   "yLow",  "yHigh"};
// The fields from the uncertainties on came later: a file holds them, and
// their names, only once they differ from the start.
constexpr int kFirstLaterField = static_cast<int>(Field::Ux);

// --- The rows of the option table, written and read by kind.

// A series as an object with the keys that --series takes; the kind is always
// written, the others when set.
QJsonObject seriesObject(const SeriesSettings& s)
{
    QJsonObject o{{"kind", s.Kind == SeriesKind::Markers ? "markers" : "line"}};
    if (!s.Name.empty())
        o["name"] = QString::fromStdString(s.Name);
    if (s.HasInk) {
        o["ink"] = QString::fromStdString(colourText(s.Ink));
        o["tolerance"] = s.Tolerance;
    }
    if (s.StartX >= 0 && s.StartY >= 0)
        o["start"] = QJsonObject{{"x", s.StartX}, {"y", s.StartY}};
    if (s.MinSize > 0)
        o["size"] = QJsonObject{{"min", s.MinSize}, {"max", s.MaxSize}};
    return o;
}

void writeOption(const ScanOption& row, const OptionValues& v, QJsonObject& o)
{
    const QString key = row.keys[0];
    const OutputFields& f = v.fields;
    switch (row.kind) {
    case OptionKind::Whole: putAtKey(o, key, wholeIn(row, v)); break;
    case OptionKind::OnOff: putAtKey(o, key, onOffIn(row, v)); break;
    case OptionKind::Positions:
    case OptionKind::Reals:
    case OptionKind::Point:
        for (int i = 0; i < numberCount(row); ++i)
            putAtKey(o, row.keys[i], numberIn(row, v, i));
        break;
    case OptionKind::Colour: putAtKey(o, key, QString::fromStdString(colourText(colourIn(row, v)))); break;
    case OptionKind::FieldList: {
        QJsonObject fields{
            {"real", f.realCoordinates}, {"sdev", f.sdev}, {"sdevY", f.sdevY}, {"bitmap", f.bitmapCoordinates}};
        if (f.ux)
            fields["ux"] = true;
        if (f.uy)
            fields["uy"] = true;
        if (f.yLow)
            fields["yLow"] = true;
        if (f.yHigh)
            fields["yHigh"] = true;
        putAtKey(o, key, fields);
        break;
    }
    case OptionKind::ColumnNames: {
        QJsonObject names;
        const OutputFields start;
        for (int i = 0; i < kFieldCount; ++i)
            if (i < kFirstLaterField || f.names[i] != start.names[i])
                names[kNameKeys[i]] = QString::fromStdString(f.names[i]);
        putAtKey(o, key, names);
        break;
    }
    case OptionKind::Delimiter: putAtKey(o, key, QString::fromStdString(f.delimiter)); break;
    case OptionKind::DecimalSeparator: putAtKey(o, key, QString::fromStdString(v.decimalSeparator)); break;
    case OptionKind::Choice: putAtKey(o, key, row.choices[row.choice(v)]); break;
    case OptionKind::ReferencePoints: {
        QJsonArray points;
        for (const ReferencePoint& p : row.points(const_cast<OptionValues&>(v)))
            points.append(QJsonObject{{"x", p.x}, {"y", p.y}, {"realX", p.realX}, {"realY", p.realY}});
        putAtKey(o, key, points);
        break;
    }
    case OptionKind::SeriesList: {
        QJsonArray list;
        for (const SeriesSettings& series : row.series(const_cast<OptionValues&>(v)))
            list.append(seriesObject(series));
        putAtKey(o, key, list);
        break;
    }
    }
}

uint32_t readColourKey(Keys& g, const QString& key)
{
    const std::optional<uint32_t> c = readColour(g.text(key, 16).toStdString());
    if (!c)
        g.fail(key, "must be a colour as \"#rrggbb\" or \"R,G,B\" (each 0 to 255)");
    return *c;
}

// The series list at `name`: each item read as strictly as --series reads it.
std::vector<SeriesSettings> readSeriesList(Keys& g, const QString& name)
{
    const QJsonArray list = g.array(name);
    if (size_t(list.size()) > kMostSeries)
        g.fail(name, QString("holds more than %1 series").arg(kMostSeries));
    std::vector<SeriesSettings> out;
    for (qsizetype i = 0; i < list.size(); ++i) {
        const QString item = QString("%1.%2").arg(name).arg(i);
        if (!list[i].isObject())
            g.fail(item, "must be an object");
        Keys k = g.inner(list[i].toObject(), item);
        SeriesSettings& s = out.emplace_back();
        if (k.has("name")) {
            // It reads back through --series, and stands in the first cell
            // of its rows; the delimiter is read after the series.
            s.Name = k.text("name", int(kLongestSeriesName)).toStdString();
            if (const std::string problem = seriesNameProblem(s.Name, {}); !problem.empty())
                k.failWith("name", QString::fromStdString(problem));
        }
        if (k.has("kind")) {
            const QString kind = k.text("kind", 16);
            if (kind != "line" && kind != "markers")
                k.fail("kind", "must be line or markers");
            s.Kind = kind == "markers" ? SeriesKind::Markers : SeriesKind::Line;
        }
        if (k.has("ink")) {
            s.HasInk = true;
            s.Ink = readColourKey(k, "ink");
        }
        if (k.has("tolerance")) {
            s.Tolerance = int32_t(k.whole("tolerance"));
            if (s.Tolerance < 0 || s.Tolerance > InkSettings::kMaxTolerance)
                k.fail("tolerance", QString("must be from 0 to %1").arg(InkSettings::kMaxTolerance));
        }
        if (k.has("start")) {
            Keys start = k.object("start");
            s.StartX = start.whole("x");
            s.StartY = start.whole("y");
            start.noOthers();
            if (s.StartX < 0 || s.StartY < 0)
                k.fail("start", "must lie on the picture: x and y of at least 0");
        }
        if (k.has("size")) {
            Keys size = k.object("size");
            s.MinSize = int32_t(size.whole("min"));
            s.MaxSize = int32_t(size.whole("max"));
            size.noOthers();
            if (s.MinSize < 1 || s.MaxSize < s.MinSize)
                k.fail("size", "must have 1 <= min <= max");
        }
        k.noOthers();
    }
    return out;
}

// The series list at `name`, once the delimiter is read: the series without
// a name named, and the names checked against the delimiter and each other.
void nameSeriesList(Keys& g, const QString& name, std::vector<SeriesSettings>& list, const std::string& delimiter)
{
    for (size_t i = 0; i < list.size(); ++i)
        if (const std::string problem = seriesNameProblem(list[i].Name, delimiter);
            !list[i].Name.empty() && !problem.empty())
            g.failWith(QString("%1.%2.name").arg(name).arg(i), QString::fromStdString(problem));
    if (const std::string problem = nameSeries(list, delimiter); !problem.empty())
        g.failWith(name, QString::fromStdString(problem));
}

// The objects of one group being read, by their path within it; each is
// asked for once, and checked for keys of no row once the group is read.
class GroupKeys {
public:
    explicit GroupKeys(Keys group) : group_(std::move(group)) {}

    Keys& at(const QString& path)
    {
        if (path.isEmpty())
            return group_;
        const auto it = inner_.find(path);
        if (it != inner_.end())
            return it->second;
        const auto [parent, name] = splitKey(path);
        return inner_.emplace(path, at(parent).object(name)).first->second;
    }

    // Whether the group holds the first object or value on a key's path.
    bool holds(const QString& withinGroup) const { return group_.has(withinGroup.section('.', 0, 0)); }

    void noOthers() const
    {
        for (const auto& [path, keys] : inner_)
            keys.noOthers();
        group_.noOthers();
    }

private:
    Keys group_;
    std::map<QString, Keys> inner_;
};

// A number of a row that another row's box holds too, as X1's x is the
// reference x.
bool boxOfAnotherRow(const ScanOption& row, int i)
{
    const auto box = row.controls[i].text;
    if (!box)
        return false;
    for (const ScanOption& other : scanOptions())
        if (&other != &row)
            for (const OptionControl& c : other.controls)
                if (c.text == box)
                    return true;
    return false;
}

// Reads one key of a row: `key` is its path within the group. With
// `fractionalMarks` (a calibration kind other than the axes kind) the
// origin and the references may lie between pixels.
void readOption(const ScanOption& row, GroupKeys& group, SavedSettings& s, bool fractionalMarks)
{
    const auto within = [](const char* key) { return QString(key).section('.', 1); };
    const auto [path, name] = splitKey(within(row.keys[0]));
    Keys& g = group.at(path);
    OutputFields& f = s.fields;
    switch (row.kind) {
    case OptionKind::Whole:
        row.whole(s) = int32_t(g.whole(name)); // the options checks judge the range of a number in a box
        if (!row.controls[0].text && (wholeIn(row, s) < row.least || wholeIn(row, s) > row.most))
            g.failWith(name, QString::fromStdString(rangeText(row)));
        break;
    case OptionKind::OnOff: row.onOff(s) = g.flag(name); break;
    case OptionKind::Positions:
    case OptionKind::Reals:
    case OptionKind::Point:
        for (int i = 0; i < numberCount(row); ++i) {
            const auto [at, number] = splitKey(within(row.keys[i]));
            Keys& n = group.at(at);
            const bool mark =
                fractionalMarks && row.kind == OptionKind::Positions && QString(row.keys[0]).startsWith("calibration.");
            const double value =
                row.kind == OptionKind::Reals || row.fractional || mark ? n.number(number) : n.whole(number);
            // X1's x is the reference x, read from its own key first: the
            // file may not say two things about it.
            if (row.kind == OptionKind::Point && boxOfAnotherRow(row, i) && value != row.number(s, i))
                n.fail(number, "must be the same as the reference it also gives");
            row.number(s, i) = value;
        }
        break;
    case OptionKind::Colour: row.colour(s) = readColourKey(g, name); break;
    case OptionKind::Choice: {
        const int32_t i = choiceIndex(row, g.text(name, 40).toStdString());
        if (i < 0)
            g.fail(name, QString("must be one of %1").arg(QString::fromStdString(choiceList(row)).replace('|', ", ")));
        row.choose(s, i);
        break;
    }
    case OptionKind::ReferencePoints: {
        std::vector<ReferencePoint>& points = row.points(s);
        points.clear();
        const QJsonArray list = g.array(name);
        if (size_t(list.size()) > kMostReferencePoints)
            g.fail(name, QString("holds more than %1 points").arg(kMostReferencePoints));
        for (qsizetype i = 0; i < list.size(); ++i) {
            if (!list[i].isObject())
                g.fail(QString("%1.%2").arg(name).arg(i), "must be an object");
            Keys p = g.inner(list[i].toObject(), QString("%1.%2").arg(name).arg(i));
            points.push_back({p.number("x"), p.number("y"), p.number("realX"), p.number("realY")});
            p.noOthers();
        }
        break;
    }
    case OptionKind::SeriesList: row.series(s) = readSeriesList(g, name); break;
    case OptionKind::FieldList: {
        Keys fields = g.object(name);
        f.realCoordinates = fields.flag("real");
        f.sdev = fields.flag("sdev");
        f.sdevY = fields.flag("sdevY");
        f.bitmapCoordinates = fields.flag("bitmap");
        f.ux = fields.has("ux") && fields.flag("ux");
        f.uy = fields.has("uy") && fields.flag("uy");
        f.yLow = fields.has("yLow") && fields.flag("yLow");
        f.yHigh = fields.has("yHigh") && fields.flag("yHigh");
        fields.noOthers();
        if (!f.realCoordinates && !f.sdev && !f.sdevY && !f.bitmapCoordinates && !f.ux && !f.uy && !f.yLow && !f.yHigh)
            g.fail(name, "must include at least one output field");
        break;
    }
    case OptionKind::ColumnNames: {
        Keys names = g.object(name);
        for (int i = 0; i < kFieldCount; ++i)
            if (i < kFirstLaterField || names.has(kNameKeys[i]))
                f.names[i] = names.text(kNameKeys[i], 40).toStdString();
        names.noOthers();
        break;
    }
    case OptionKind::Delimiter: f.delimiter = g.text(name, 8).toStdString(); break;
    case OptionKind::DecimalSeparator: {
        const QString sep = g.text(name, 1);
        // Each of these would make a number read as another or as two.
        if (sep.size() != 1 || sep[0].isDigit() || QString("+-Ee").contains(sep[0]) ||
            sep[0].category() == QChar::Other_Control)
            g.fail(name, "must be one character other than a digit, a sign, E, e or a control character");
        s.decimalSeparator = sep.toStdString();
        // The delimiter, read before it, must suit it.
        for (const ScanOption& d : scanOptions())
            if (d.kind == OptionKind::Delimiter && !delimiterIsValid(f.delimiter, s.decimalSeparator))
                g.failWith(splitKey(within(d.keys[0])).second, kInvalidDelimiterText);
        break;
    }
    }
}

// The groups of the file after "picture", in the order of their first rows.
struct Group {
    QString key;
    InFile inFile;
    std::vector<const ScanOption*> rows;
};

const std::vector<Group>& groups()
{
    static const std::vector<Group> all = [] {
        std::vector<Group> out;
        for (const ScanOption& row : scanOptions()) {
            const QString key = groupOf(row.keys[0]);
            auto g = std::find_if(out.begin(), out.end(), [&](const Group& x) { return x.key == key; });
            if (g == out.end())
                g = out.insert(out.end(), Group{key, row.inFile, {}});
            g->rows.push_back(&row);
        }
        return out;
    }();
    return all;
}

void writePicture(const SavedSettings& s, QJsonObject& o)
{
    QJsonObject picture{{"width", s.pictureWidth}, {"height", s.pictureHeight}};
    if (!s.pictureSha256.empty())
        picture["sha256"] = QString::fromStdString(s.pictureSha256);
    o["picture"] = picture;
}

void readPicture(Keys& g, SavedSettings& s)
{
    s.pictureWidth = int32_t(g.whole("width"));
    s.pictureHeight = int32_t(g.whole("height"));
    if (g.has("sha256")) {
        const QString hash = g.text("sha256", 64);
        if (hash.size() != 64 || !std::all_of(hash.begin(), hash.end(),
                                              [](QChar c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }))
            g.fail("sha256", "must be 64 hexadecimal digits");
        s.pictureSha256 = hash.toStdString();
    }
    if (s.pictureWidth < 2)
        g.fail("width", "must be at least 2");
    if (s.pictureHeight < 2)
        g.fail("height", "must be at least 2");
}

std::string exactNumber(double v)
{
    char buf[64];
    const auto end = std::to_chars(buf, buf + sizeof buf, v).ptr;
    return std::string(buf, end);
}

// The key each message of the options checks is about, by the message's
// start: the calibration's and the area's, judged by rules of their own, and
// the whole numbers of the option table, by their nouns.
const std::vector<std::pair<std::string, std::string>>& messageKeys()
{
    static const std::vector<std::pair<std::string, std::string>> all = [] {
        std::vector<std::pair<std::string, std::string>> keys{
            {"Invalid X start", "area.startX"},
            {"Start X scan", "area.startX"},
            {"Invalid X end", "area.endX"},
            {"End X scan", "area.endX"},
            {"Invalid Y start", "area.startY"},
            {"Start Y scan", "area.startY"},
            {"Invalid Y end", "area.endY"},
            {"End Y scan", "area.endY"},
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
            {"Ink and paper", "ink.paper"},
        };
        for (const ScanOption& row : scanOptions())
            if (row.kind == OptionKind::Whole && row.noun) {
                keys.emplace_back(invalidText(row), row.keys[0]);
                keys.emplace_back(rangeText(row).substr(0, std::string(row.noun).size()), row.keys[0]);
            }
        return keys;
    }();
    return all;
}

} // namespace

void putAtKey(QJsonObject& o, const QString& key, const QJsonValue& v)
{
    const qsizetype dot = key.indexOf('.');
    if (dot < 0) {
        o[key] = v;
        return;
    }
    QJsonObject inner = o[key.left(dot)].toObject();
    putAtKey(inner, key.mid(dot + 1), v);
    o[key.left(dot)] = inner;
}

QByteArray settingsToJson(const SavedSettings& s)
{
    QJsonObject o{{"format", kFormat}, {"version", kSettingsVersion}};
    writePicture(s, o);
    const OptionValues start;
    for (const Group& g : groups()) {
        QJsonObject mine, started;
        for (const ScanOption* row : g.rows) {
            if (inUse(*row, s))
                writeOption(*row, s, mine);
            if (inUse(*row, start))
                writeOption(*row, start, started);
        }
        if (g.inFile == InFile::WhenSet && mine == started)
            continue;
        o[g.key] = mine[g.key];
    }
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
    Keys picture = top.object("picture");
    readPicture(picture, s);
    picture.noOthers();
    // Marks of the other kinds, and snapped marks, lie between pixels.
    const QJsonObject calibration = doc.object().value("calibration").toObject();
    const QJsonValue kind = calibration.value("kind");
    const bool fractionalMarks =
        (kind.isString() && kind.toString() != "axes") || calibration.value("snap").toBool(false);
    for (const Group& g : groups()) {
        if (g.inFile != InFile::Always && !top.has(g.key))
            continue;
        // A group that is one list, as the series are.
        if (!QString(g.rows.front()->keys[0]).contains('.')) {
            for (const ScanOption* row : g.rows)
                row->series(s) = readSeriesList(top, g.key);
            continue;
        }
        GroupKeys group(top.object(g.key));
        for (const ScanOption* row : g.rows)
            if (!row->inUse || group.holds(QString(row->keys[0]).section('.', 1)))
                readOption(*row, group, s, fractionalMarks);
        group.noOthers();
    }
    for (const Group& g : groups())
        if (!QString(g.rows.front()->keys[0]).contains('.'))
            for (const ScanOption* row : g.rows)
                nameSeriesList(top, g.key, row->series(s), s.fields.delimiter);
    top.noOthers();
    // A file gives every real value of the calibration.
    ScanSettings& r = s.record;
    r.HasRealOriginX = r.HasRealOriginY = r.HasRealRefX = r.HasRealRefY = true;

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
    fillTableBoxes(b, r);
    const OptionValues v{r};
    for (const ScanOption& row : scanOptions())
        if (row.kind == OptionKind::Positions || row.kind == OptionKind::Reals)
            for (int i = 0; i < numberCount(row); ++i)
                b.*row.controls[i].text = exactNumber(numberIn(row, v, i));
    fillPointBoxes(b, r, exactNumber);
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
        const std::string* key = nullptr;
        for (const auto& [start, k] : messageKeys())
            if (line.rfind(start, 0) == 0) {
                key = &k;
                break;
            }
        out += key ? "the key \"" + *key + "\": " + line : line;
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
    // So do the series' Start points and their markers' areas.
    for (SeriesSettings& series : r.Series) {
        scale(series.StartX, fx);
        scale(series.StartY, fy);
        if (series.MinSize > 0) {
            series.MinSize = int32_t(std::clamp(std::round(series.MinSize * fx * fy), 1.0, 2147483647.0));
            series.MaxSize =
                int32_t(std::clamp(std::round(series.MaxSize * fx * fy), 1.0 * series.MinSize, 2147483647.0));
        }
    }
    // The marks of the other calibration kinds may lie between pixels.
    const auto scaleExactly = [](double& v, double f) {
        if (v >= 0)
            v *= f;
    };
    CalibrationSettings& c = r.Calibration;
    // There O and the references are full points too, scaled alike, or
    // rounding them alone would turn the axes.
    if (!c.aligned()) {
        r.OriginX = s.record.OriginX;
        r.OriginY = s.record.OriginY;
        r.RefX = s.record.RefX;
        r.RefY = s.record.RefY;
        scaleExactly(r.OriginX, fx);
        scaleExactly(r.RefX, fx);
        scaleExactly(r.OriginY, fy);
        scaleExactly(r.RefY, fy);
    }
    scaleExactly(c.X1Y, fy);
    scaleExactly(c.Y1X, fx);
    scaleExactly(c.CornerX, fx);
    scaleExactly(c.CornerY, fy);
    for (ReferencePoint& p : c.Points) {
        p.x *= fx;
        p.y *= fy;
    }
    if (r.Follow.On || r.Follow.RemoveLines) {
        if (r.Follow.MaxJump > 0)
            r.Follow.MaxJump = int32_t(std::clamp(std::round(r.Follow.MaxJump * fy), 1.0, 2147483647.0));
        r.Follow.Gap = int32_t(std::clamp(std::round(r.Follow.Gap * fy), 1.0, 2147483647.0));
    }
    return r;
}

} // namespace plotrun
