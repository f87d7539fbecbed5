// The settings file: what is written reads back the same, and every kind of
// refusal names the key and the problem.
#include "SettingsFile.h"
#include "WorkedExample.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace plotrun::test {
namespace {

SavedSettings workedExample()
{
    SavedSettings s;
    s.record = workedExampleSettings();
    s.pictureWidth = 640;
    s.pictureHeight = 480;
    s.fields.realCoordinates = s.fields.sdev = true;
    s.fields.scanningParameters = s.fields.columnNames = true;
    return s;
}

// The JSON object of the worked example, changed by `edit` at a dotted path.
QJsonObject edited(const QString& path, const std::function<void(QJsonObject&, const QString&)>& edit)
{
    QJsonObject top = QJsonDocument::fromJson(settingsToJson(workedExample())).object();
    const QStringList keys = path.split('.');
    std::function<void(QJsonObject&, int)> walk = [&](QJsonObject& o, int i) {
        if (i == keys.size() - 1) {
            edit(o, keys[i]);
            return;
        }
        QJsonObject inner = o[keys[i]].toObject();
        walk(inner, i + 1);
        o[keys[i]] = inner;
    };
    walk(top, 0);
    return top;
}

QJsonObject withValue(const QString& path, const QJsonValue& v)
{
    return edited(path, [&](QJsonObject& o, const QString& k) { o[k] = v; });
}

QJsonObject without(const QString& path)
{
    return edited(path, [](QJsonObject& o, const QString& k) { o.remove(k); });
}

// The reader's message for a document, or "" when it is taken.
std::string refusal(const QByteArray& json)
{
    try {
        settingsFromJson(json);
        return "";
    } catch (const SettingsFileError& e) {
        return e.what();
    }
}
std::string refusal(const QJsonObject& o) { return refusal(QJsonDocument(o).toJson()); }

TEST(SettingsFile, WhatIsWrittenReadsBackTheSame)
{
    SavedSettings s = workedExample();
    // Real values that a short decimal form would not give back exactly.
    s.record.RealOriginX = 0.1 + 0.2;
    s.record.RealRefX = 1.0 / 3;
    s.record.RealRefY = -2.5e-300;
    s.record.RealOriginY = 1e300;
    s.record.WeightedX = true;
    s.fields.delimiter = " ; ";
    s.fields.names = {"a", "b\"c", "Ü", "", "x y", "40"};
    s.decimalSeparator = ",";
    s.copyToClipboard = false;
    const SavedSettings back = settingsFromJson(settingsToJson(s));
    EXPECT_EQ(back, s);
}

TEST(SettingsFile, TheMarksOfTheOtherKindsReadBackWithTheirFractions)
{
    SavedSettings s = workedExample();
    ScanSettings& r = s.record;
    r.Calibration.Kind = CalibrationKind::FourPoint;
    r.OriginX = 50.25;
    r.OriginY = 40.5;
    r.RefX = 250.75;
    r.Calibration.X1Y = 44.125;
    r.Calibration.Y1X = 46.5;
    r.RefY = 240.25;
    r.Calibration.CornerX = 252.5;
    r.Calibration.CornerY = 238.75;
    r.Calibration.Points = {{150.5, 140.25, 5, 50}};
    EXPECT_EQ(settingsFromJson(settingsToJson(s)), s);
    // Along the picture they are whole pixels, as ever.
    EXPECT_NE(refusal(withValue("calibration.origin.x", 50.5)).find("must be a whole number"), std::string::npos);
}

TEST(SettingsFile, TheFollowGroupIsWrittenOnlyWhenUsedAndReadsBack)
{
    // Off, as at the start: no group, and a file without it reads as off.
    EXPECT_FALSE(QJsonDocument::fromJson(settingsToJson(workedExample())).object().contains("follow"));
    EXPECT_EQ(settingsFromJson(settingsToJson(workedExample())).record.Follow, FollowSettings{});
    SavedSettings s = workedExample();
    s.record.Follow = {true, true, 5, 12, 61, 140};
    EXPECT_TRUE(QJsonDocument::fromJson(settingsToJson(s)).object().contains("follow"));
    EXPECT_EQ(settingsFromJson(settingsToJson(s)), s);
    QJsonObject top = QJsonDocument::fromJson(settingsToJson(s)).object();
    QJsonObject follow = top["follow"].toObject();
    follow["gap"] = 0;
    top["follow"] = follow;
    EXPECT_NE(refusal(top).find("follow.gap"), std::string::npos) << refusal(top);
}

TEST(SettingsFile, TheCalibrationOfTheAxesKindIsAsItWasAndTheOtherKindsReadBack)
{
    const QJsonObject calibration =
        QJsonDocument::fromJson(settingsToJson(workedExample())).object()["calibration"].toObject();
    EXPECT_EQ(calibration.keys(), QStringList({"origin", "realOrigin", "realReference", "reference"}));
    SavedSettings s = workedExample();
    s.record.Calibration = {CalibrationKind::FourPoint, 41.5, 52.25, 251, 242, {{70.5, 90, 2.5, 3}}, true};
    EXPECT_EQ(settingsFromJson(settingsToJson(s)), s);
}

TEST(SettingsFile, SnappedMarksKeepTheirFractionsInTheAxesKind)
{
    SavedSettings s = workedExample();
    s.record.Calibration.Snap = true;
    s.record.OriginX = 50.25;
    s.record.RefY = 240.75;
    EXPECT_EQ(settingsFromJson(settingsToJson(s)), s);
}

TEST(SettingsFile, AFileIsWrittenAndReadByPath)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("s.json");
    EXPECT_EQ(writeSettingsFile(path, workedExample()), "");
    EXPECT_EQ(readSettingsFile(path), workedExample());
    try {
        readSettingsFile(dir.filePath("missing.json"));
        ADD_FAILURE();
    } catch (const SettingsFileError& e) {
        EXPECT_NE(std::string(e.what()).find("Cannot open settings file"), std::string::npos) << e.what();
    }
}

TEST(SettingsFile, EveryRefusalNamesTheKeyAndTheProblem)
{
    const std::vector<std::pair<QJsonObject, std::string>> cases{
        {withValue("format", "something else"), "the key \"format\" must be \"plotrun-settings\""},
        {without("format"), "the key \"format\" is missing"},
        {withValue("version", 2), "the key \"version\" is 2, a version this program cannot read"},
        {withValue("version", "1"), "the key \"version\" must be a number"},
        {without("picture"), "the key \"picture\" is missing"},
        {without("calibration"), "the key \"calibration\" is missing"},
        {without("area"), "the key \"area\" is missing"},
        {without("scan"), "the key \"scan\" is missing"},
        {without("output"), "the key \"output\" is missing"},
        {without("calibration.origin.x"), "the key \"calibration.origin.x\" is missing"},
        {without("output.names.sdevY"), "the key \"output.names.sdevY\" is missing"},
        {without("output.fields.bitmap"), "the key \"output.fields.bitmap\" is missing"},
        {withValue("area.startX", "60"), "the key \"area.startX\" must be a number"},
        {withValue("area.startX", 60.5), "the key \"area.startX\" must be a whole number"},
        {withValue("scan.threshold", 12.5), "the key \"scan.threshold\" must be a whole number"},
        {withValue("scan.weightedX", 1), "the key \"scan.weightedX\" must be true or false"},
        {withValue("calibration.realReference.x", "10"), "the key \"calibration.realReference.x\" must be a number"},
        {withValue("calibration.origin", 5), "the key \"calibration.origin\" must be an object"},
        {withValue("output.delimiter", 4), "the key \"output.delimiter\" must be a text"},
        {withValue("extra", 1), "the key \"extra\" is not a key of a settings file"},
        {withValue("area.extra", 1), "the key \"area.extra\" is not a key of a settings file"},
        {withValue("output.names.z", "Z"), "the key \"output.names.z\" is not a key of a settings file"},
        {withValue("output.delimiter", "123456789"), "the key \"output.delimiter\" holds more than 8 characters"},
        {withValue("output.delimiter", "a\nb"), "the key \"output.delimiter\": The delimiter cannot be empty"},
        {withValue("output.names.x", QString(41, 'x')), "the key \"output.names.x\" holds more than 40 characters"},
        {withValue("output.decimalSeparator", ""), "the key \"output.decimalSeparator\" must be one character"},
        {withValue("output.decimalSeparator", "5"), "the key \"output.decimalSeparator\" must be one character"},
        {withValue("output.fields", QJsonObject{{"real", false}, {"sdev", false}, {"sdevY", false}, {"bitmap", false}}),
         "the key \"output.fields\" must include at least one output field"},
        {withValue("picture.width", 1), "the key \"picture.width\" must be at least 2"},
        {withValue("calibration.x1", QJsonObject{{"x", 251}, {"y", 40}}),
         "the key \"calibration.x1.x\" must be the same as the reference it also gives"},
        {withValue("calibration.kind", "tilted"),
         "the key \"calibration.kind\" must be one of axes, three-point, four-point"},
        {withValue("calibration.points", 3), "the key \"calibration.points\" must be a list"},
        {withValue("calibration.points", QJsonArray{QJsonObject{{"x", 1}, {"y", 2}, {"realX", 3}}}),
         "the key \"calibration.points.0.realY\" is missing"},
        // The options checks, on the picture the settings were made on.
        {withValue("scan.threshold", 0), "the key \"scan.threshold\": Threshold must be between 1 and 255"},
        {withValue("area.endX", 641), "the key \"area.endX\": End X scan point out of range."},
        {withValue("area.startY", -3), "the key \"area.startY\": Start Y scan point out of range."},
        {withValue("calibration.reference.x", 50), "the key \"calibration.reference.x\": Reference X is out of range"},
        {withValue("calibration.origin.y", 480), "the key \"calibration.origin.y\": Origin Y is out of range"},
        {withValue("calibration.realReference.y", 0),
         "the key \"calibration.realReference.y\": Real Y cannot be same as real origin Y"},
        {withValue("scan.width", 4), "the key \"scan.width\": Scan width must between 1 and 3."},
        {withValue("calibration.realReference.x", 1e308),
         "the key \"calibration.realReference.x\": Real X of the picture's edges is out of range"},
    };
    for (const auto& [json, want] : cases) {
        const std::string why = refusal(json);
        EXPECT_NE(why.find(want), std::string::npos) << "want: " << want << "\ngot: " << why;
    }
    EXPECT_NE(refusal(QByteArray("{ not json")).find("it is not JSON"), std::string::npos);
    EXPECT_NE(refusal(QByteArray("[1, 2]")).find("it is not a JSON object"), std::string::npos);
}

// Qt's reader keeps the last of two equal keys and takes numbers that JSON
// does not allow; a settings file is read as JSON is written.
TEST(SettingsFile, DuplicateKeysAndNumbersJsonDoesNotAllowAreRefusedByKey)
{
    const QByteArray good = settingsToJson(workedExample());
    ASSERT_EQ(refusal(good), "");
    const auto replaced = [&](const char* from, const char* to) {
        QByteArray json = good;
        const qsizetype at = json.indexOf(from);
        EXPECT_GE(at, 0) << from;
        return json.replace(at, qsizetype(strlen(from)), to);
    };
    const std::vector<std::pair<QByteArray, std::string>> cases{
        {replaced("\"threshold\": 128", "\"threshold\": 128, \"threshold\": 64"),
         "the key \"scan.threshold\" is given more than once"},
        {replaced("\"format\"", "\"version\": 1, \"format\""), "the key \"version\" is given more than once"},
        // One key written two ways is still one key.
        {replaced("\"delimiter\": \",\"", "\"delimiter\": \",\", \"delim\\u0069ter\": \";\""),
         "the key \"output.delimiter\" is given more than once"},
        {replaced("\"threshold\": 128", "\"threshold\": 128."),
         "the key \"scan.threshold\" holds 128., which is not a number as JSON writes it"},
        {replaced("\"threshold\": 128", "\"threshold\": .5e1"), "the key \"scan.threshold\" holds .5e1"},
        {replaced("\"threshold\": 128", "\"threshold\": 1e"), "the key \"scan.threshold\" holds 1e,"},
        {replaced("\"threshold\": 128", "\"threshold\": +128"), "the key \"scan.threshold\" holds +128"},
        {replaced("\"threshold\": 128", "\"threshold\": 0128"), "the key \"scan.threshold\" holds 0128"},
    };
    for (const auto& [json, want] : cases) {
        const std::string why = refusal(json);
        EXPECT_NE(why.find(want), std::string::npos) << "want: " << want << "\ngot: " << why;
    }
    // A key's control characters are written out, not sent to the terminal.
    const std::string control = refusal(replaced("\"endX\"", "\"endX\\u0000\\u001b[2J\": 1, \"endX\""));
    EXPECT_NE(control.find("the key \"area.endX\\u0000\\u001b[2J\" is not a key of a settings file"), std::string::npos)
        << control;
    // The same keys in other objects, and every number form JSON allows, pass.
    EXPECT_EQ(refusal(replaced("\"threshold\": 128", "\"threshold\": 1.28e2")), "");
    EXPECT_EQ(refusal(replaced("\"threshold\": 128", "\"threshold\": 12800E-2")), "");
    // Nesting deeper than any settings file is not walked, and does not crash.
    EXPECT_NE(refusal(QByteArray(100000, '[')).find("it is not JSON"), std::string::npos);
}

// A delimiter that runs the numbers of a line together, or into one number,
// is refused as the output fields dialog and --delimiter refuse it.
TEST(SettingsFile, ADelimiterThatRunsNumbersTogetherIsRefused)
{
    const std::string want = std::string("the key \"output.delimiter\": ") + kInvalidDelimiterText;
    for (const char* d : {"", "1", "-", "+", "E", "e", ".", " . ", "\r"}) {
        EXPECT_NE(refusal(withValue("output.delimiter", d)).find(want), std::string::npos) << '"' << d << '"';
    }
    // The decimal separator is the file's own.
    QJsonObject o = withValue("output.delimiter", ",");
    o = QJsonDocument::fromJson(QJsonDocument(o).toJson()).object();
    QJsonObject output = o["output"].toObject();
    output["decimalSeparator"] = ",";
    o["output"] = output;
    EXPECT_NE(refusal(o).find(want), std::string::npos);
    for (const char* d : {",", ";", "\t", " | ", "x"})
        EXPECT_EQ(refusal(withValue("output.delimiter", d)), "") << d;
}

TEST(SettingsFile, SeveralRefusalsOfTheChecksAreAllListed)
{
    QJsonObject o = withValue("scan.threshold", 300);
    o = QJsonDocument::fromJson(QJsonDocument(o).toJson()).object();
    QJsonObject area = o["area"].toObject();
    area["endY"] = 481;
    o["area"] = area;
    const std::string why = refusal(o);
    EXPECT_NE(why.find("the key \"area.endY\": End Y scan point out of range.\n"), std::string::npos) << why;
    EXPECT_NE(why.find("the key \"scan.threshold\": Threshold must be between 1 and 255\n"), std::string::npos) << why;
}

TEST(SettingsFile, ScalingCarriesMarksAreaAndWidthToAnotherSize)
{
    SavedSettings s = workedExample();
    s.record.ScanWidth = 3;
    const ScanSettings r = scaledToPicture(s, 1280, 240);
    EXPECT_EQ(r.OriginX, 100);
    EXPECT_EQ(r.OriginY, 20);
    EXPECT_EQ(r.RefX, 500);
    EXPECT_EQ(r.RefY, 120);
    EXPECT_EQ(r.ScanStartX, 120);
    EXPECT_EQ(r.ScanEndY, 100);
    EXPECT_EQ(r.ScanWidth, 6);
    EXPECT_EQ(r.RealRefX, s.record.RealRefX);
    EXPECT_EQ(r.Follow, s.record.Follow) << "following unused stays as it was";

    // The full points of a turned chart scale alike, O and X1 together, so
    // that the x axis keeps its slope.
    SavedSettings turned = s;
    turned.record.Calibration = {CalibrationKind::ThreePoint, 40.4, 50.6};
    turned.record.OriginX = 50.3;
    turned.record.OriginY = 40.4;
    const ScanSettings t = scaledToPicture(turned, 1280, 960);
    EXPECT_DOUBLE_EQ(t.Calibration.X1Y - t.OriginY, 0.0);
    EXPECT_DOUBLE_EQ(t.OriginX, 100.6);
    EXPECT_DOUBLE_EQ(t.Calibration.Y1X, 101.2);

    // Following's Start mark and its rows: scaled as the marks are.
    s.record.Follow.On = true;
    s.record.Follow.StartX = 61;
    s.record.Follow.StartY = 141;
    s.record.Follow.MaxJump = 15;
    s.record.Follow.Gap = 3;
    const ScanSettings f = scaledToPicture(s, 1280, 960);
    EXPECT_EQ(f.Follow.StartX, 122);
    EXPECT_EQ(f.Follow.StartY, 282);
    EXPECT_EQ(f.Follow.MaxJump, 30);
    EXPECT_EQ(f.Follow.Gap, 6);
    s.record.Follow.MaxJump = 0; // a tenth of the area, whatever its size
    s.record.Follow.StartX = s.record.Follow.StartY = -1;
    const ScanSettings g = scaledToPicture(s, 320, 240);
    EXPECT_EQ(g.Follow.MaxJump, 0);
    EXPECT_EQ(g.Follow.StartX, -1);
    EXPECT_EQ(g.Follow.StartY, -1);
    EXPECT_EQ(g.Follow.Gap, 2);
}

} // namespace
} // namespace plotrun::test
