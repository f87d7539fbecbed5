// The settings file's logarithmic axes and ink groups: what is written reads
// back, every refusal names its key, a file without the groups leaves the
// options off, and the scanner keeps the flags given over a settings file.
#include "InkChart.h"
#include "ScanCommand.h"
#include "ScannerRun.h"
#include "SettingsFile.h"
#include "WorkedExample.h"
#include "BmpFile.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

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

QJsonObject jsonOf(const SavedSettings& s) { return QJsonDocument::fromJson(settingsToJson(s)).object(); }

// The worked example's JSON with one key of a group set or removed.
QJsonObject withKey(QJsonObject top, const char* group, const char* key, const QJsonValue& v)
{
    QJsonObject g = top[group].toObject();
    if (v.isUndefined())
        g.remove(key);
    else
        g[key] = v;
    top[group] = g;
    return top;
}

std::string refusal(const QJsonObject& o)
{
    try {
        settingsFromJson(QJsonDocument(o).toJson());
        return "";
    } catch (const SettingsFileError& e) {
        return e.what();
    }
}

TEST(SettingsGroups, LogarithmicAxesAndInkReadBackTheSame)
{
    SavedSettings s = workedExample();
    s.record.RealOriginX = 0.5;
    s.record.RealOriginY = 1;
    s.record.LogX = s.record.LogY = true;
    s.record.Ink = {true, 0x2828D2, 0xF0FAFF, 17};
    const QJsonObject o = jsonOf(s);
    EXPECT_EQ(o["axes"].toObject(), (QJsonObject{{"logX", true}, {"logY", true}}));
    EXPECT_EQ(o["ink"].toObject(),
              (QJsonObject{{"on", true}, {"ink", "#d22828"}, {"paper", "#fffaf0"}, {"tolerance", 17}}));
    EXPECT_EQ(settingsFromJson(settingsToJson(s)), s);

    // Off, the groups are written too, and read back off.
    const SavedSettings off = workedExample();
    EXPECT_EQ(jsonOf(off)["axes"].toObject(), (QJsonObject{{"logX", false}, {"logY", false}}));
    EXPECT_EQ(settingsFromJson(settingsToJson(off)), off);

    // The options dialog's boxes carry them.
    const OptionBoxes b = exactBoxes(s.record);
    EXPECT_TRUE(b.LogXCheckBox && b.LogYCheckBox && b.InkCheckBox);
    EXPECT_EQ(b.InkColour, 0x2828D2u);
    EXPECT_EQ(b.PaperColour, 0xF0FAFFu);
    EXPECT_EQ(b.SelInkTol, "17");
}

TEST(SettingsGroups, AFileWithoutTheGroupsLeavesTheOptionsOff)
{
    SavedSettings s = workedExample();
    QJsonObject o = jsonOf(s);
    o.remove("axes");
    o.remove("ink");
    const SavedSettings back = settingsFromJson(QJsonDocument(o).toJson());
    EXPECT_EQ(back, s);
    EXPECT_FALSE(back.record.LogX || back.record.LogY);
    EXPECT_EQ(back.record.Ink, InkSettings{});
}

TEST(SettingsGroups, EveryRefusalOfTheGroupsNamesTheKeyAndTheProblem)
{
    SavedSettings logY = workedExample();
    logY.record.RealOriginY = 1;
    logY.record.LogY = true;
    const QJsonObject base = jsonOf(workedExample());
    const QJsonObject logBase = jsonOf(logY);
    QJsonObject inkOn = withKey(base, "ink", "on", true);
    const std::vector<std::pair<QJsonObject, std::string>> cases{
        {withKey(base, "axes", "logX", 1), "the key \"axes.logX\" must be true or false"},
        {withKey(base, "axes", "logY", QJsonValue::Undefined), "the key \"axes.logY\" is missing"},
        {withKey(base, "axes", "logZ", true), "the key \"axes.logZ\" is not a key of a settings file"},
        {withKey(base, "ink", "on", "yes"), "the key \"ink.on\" must be true or false"},
        {withKey(base, "ink", "ink", 0), "the key \"ink.ink\" must be a text"},
        {withKey(base, "ink", "ink", "red"), "the key \"ink.ink\" must be a colour as \"#rrggbb\""},
        {withKey(base, "ink", "paper", "#12345"), "the key \"ink.paper\" must be a colour"},
        {withKey(base, "ink", "paper", "256,0,0"), "the key \"ink.paper\" must be a colour"},
        {withKey(base, "ink", "tolerance", QJsonValue::Undefined), "the key \"ink.tolerance\" is missing"},
        {withKey(base, "ink", "tolerance", 4.5), "the key \"ink.tolerance\" must be a whole number"},
        {withKey(base, "ink", "tolerance", "4"), "the key \"ink.tolerance\" must be a number"},
        {withKey(base, "ink", "extra", 1), "the key \"ink.extra\" is not a key of a settings file"},
        // The options checks, as on the dialog's OK.
        {withKey(base, "ink", "tolerance", 443), "the key \"ink.tolerance\": Ink tolerance must be between 0 and 442"},
        {withKey(base, "ink", "tolerance", -1), "the key \"ink.tolerance\": Ink tolerance must be between 0 and 442"},
        {withKey(inkOn, "ink", "paper", "#000000"),
         "the key \"ink.paper\": Ink and paper must be of different colours"},
        {withKey(base, "axes", "logY", true),
         "the key \"calibration.realOrigin.y\": Real origin Y must be greater than 0 on a logarithmic axis"},
        {withKey(logBase, "calibration", "realReference", QJsonObject{{"x", 10}, {"y", -5}}),
         "the key \"calibration.realReference.y\": Real reference Y must be greater than 0 on a logarithmic axis"},
    };
    EXPECT_EQ(refusal(logBase), "");
    for (const auto& [json, want] : cases) {
        const std::string why = refusal(json);
        EXPECT_NE(why.find(want), std::string::npos) << "want: " << want << "\ngot: " << why;
    }
    QJsonObject notObject = base;
    notObject["ink"] = true;
    EXPECT_NE(refusal(notObject).find("the key \"ink\" must be an object"), std::string::npos);
    notObject = base;
    notObject["axes"] = 1;
    EXPECT_NE(refusal(notObject).find("the key \"axes\" must be an object"), std::string::npos);
}

// --- The scanner with a settings file

// The ink chart's calibration as flags, with the real y of the origin and
// the reference given apart, so that a logarithmic y can be asked for.
QStringList chartArgs(const QString& realOriginY, const QString& realRefY)
{
    const ScanSettings s = InkChart::settings();
    const auto n = [](double v) { return QString::number(v); };
    return {"--origin",
            n(s.OriginX) + "," + n(s.OriginY),
            "--ref",
            n(s.RefX) + "," + n(s.RefY),
            "--real-origin",
            "0," + realOriginY,
            "--real-ref",
            "10," + realRefY,
            "--area",
            n(s.ScanStartX) + "," + n(s.ScanStartY) + "," + n(s.ScanEndX) + "," + n(s.ScanEndY),
            "--scan-width",
            "4",
            "--header",
            "--column-names",
            "--decimal-separator",
            "."};
}

class SettingsGroupsScan : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString file(const QString& name) const { return dir.filePath(name); }

    QString chart(int width = 800, int height = 600)
    {
        const QString path = file(QString("chart-%1.png").arg(width));
        EXPECT_TRUE(InkChart::draw(width, height).save(path));
        return path;
    }

    // Settings saved by the scanner from flags; the scan's own output is checked too.
    QString saved(const QString& name, const QStringList& flags, const QString& picture)
    {
        const QString path = file(name);
        const ScanRun r = scanner(flags + QStringList{"--save-settings", path, picture});
        EXPECT_EQ(r.code, kScanDone) << r.err;
        return path;
    }
};

TEST_F(SettingsGroupsScan, WithoutTheOptionsTheOutputIsTheOldOneByteForByte)
{
    const QString picture = file("worked.bmp");
    ASSERT_TRUE(writeFile(picture, bmpBytes(640, 480, 24, workedExamplePixel, {})));
    QJsonObject o = jsonOf(workedExample());
    o.remove("axes");
    o.remove("ink");
    ASSERT_TRUE(writeFile(file("old.json"), QJsonDocument(o).toJson()));
    const ScanRun old = scanner({"--settings", file("old.json"), "--decimal-separator", ".", picture});
    ASSERT_EQ(old.code, kScanDone) << old.err;
    EXPECT_EQ(old.out, kWorkedExampleText);
    ASSERT_EQ(writeSettingsFile(file("new.json"), workedExample()), "");
    const ScanRun now = scanner({"--settings", file("new.json"), "--decimal-separator", ".", picture});
    EXPECT_EQ(now.out, kWorkedExampleText);
}

TEST_F(SettingsGroupsScan, AFileWithLogYAndInkGivesTheFlagsOutput)
{
    const QString picture = chart();
    const QStringList flags =
        chartArgs("1", "10") + QStringList{"--log-y", "--ink", "#1e3cc8", "--ink-tolerance", "30"};
    const ScanRun direct = scanner(flags + QStringList{picture});
    ASSERT_EQ(direct.code, kScanDone) << direct.err;
    const QString s = saved("s.json", flags, picture);
    const SavedSettings back = readSettingsFile(s);
    EXPECT_TRUE(back.record.LogY && !back.record.LogX);
    EXPECT_EQ(back.record.Ink, (InkSettings{true, 0xC83C1E, 0xFFFFFF, 30}));
    const ScanRun viaFile = scanner({"--settings", s, picture});
    ASSERT_EQ(viaFile.code, kScanDone) << viaFile.err;
    EXPECT_EQ(viaFile.out, direct.out);
    EXPECT_NE(viaFile.out.find("Ink:,#1e3cc8,#ffffff,30\r\n"), std::string::npos) << viaFile.out;
}

TEST_F(SettingsGroupsScan, FlagsGivenAsWellOverTheFileAreKept)
{
    const QString picture = chart();
    // A file with a linear y and ink off, its real y above 0 so that a
    // logarithmic y may be asked for.
    const QString s = saved("plain.json", chartArgs("1", "10"), picture);
    const QStringList extra{"--log-y",   "--log-x", "--real-origin", "0.5,1",           "--ink",
                            "30,60,200", "--paper", "#fefefe",       "--ink-tolerance", "25"};
    const ScanRun direct = scanner(chartArgs("1", "10") + extra + QStringList{picture});
    ASSERT_EQ(direct.code, kScanDone) << direct.err;
    const ScanRun over = scanner(QStringList{"--settings", s} + extra + QStringList{picture});
    ASSERT_EQ(over.code, kScanDone) << over.err;
    EXPECT_EQ(over.out, direct.out);
    EXPECT_NE(over.out.find("Ink:,#1e3cc8,#fefefe,25\r\n"), std::string::npos) << over.out;

    // And they are saved again with the file's other settings.
    const QString changed = file("changed.json");
    ASSERT_EQ(scanner(QStringList{"--settings", s} + extra + QStringList{"--save-settings", changed}).code, kScanDone);
    const SavedSettings c = readSettingsFile(changed);
    EXPECT_TRUE(c.record.LogX && c.record.LogY);
    EXPECT_EQ(c.record.Ink, (InkSettings{true, 0xC83C1E, 0xFEFEFE, 25}));

    // Over a file in ink mode, the paper and the tolerance may be given alone.
    const QString inked = saved("inked.json", chartArgs("1", "10") + QStringList{"--ink", "#1e3cc8"}, picture);
    const ScanRun paper = scanner({"--settings", inked, "--ink-tolerance", "25", "--paper", "#fefefe", picture});
    ASSERT_EQ(paper.code, kScanDone) << paper.err;
    EXPECT_NE(paper.out.find("Ink:,#1e3cc8,#fefefe,25\r\n"), std::string::npos) << paper.out;
    const ScanRun alone = scanner({"--settings", s, "--paper", "#fefefe", picture});
    EXPECT_EQ(alone.code, kScanUsage);
    EXPECT_NE(alone.err.find("go with --ink"), std::string::npos) << alone.err;
}

TEST_F(SettingsGroupsScan, ScalingWithThePictureKeepsLogYAndInk)
{
    // The blue sigmoid read on a logarithmic y from 1 to 10: log10 of each
    // real y is the curve's value.
    const QString small = chart(800, 600), large = chart(1600, 1200);
    const QString s = saved("log-ink.json", chartArgs("1", "10") + QStringList{"--log-y", "--ink", "#1e3cc8"}, small);
    const ScanRun a = scanner({"--settings", s, small});
    const ScanRun b = scanner({"--settings", s, "--scale-with-picture", large});
    ASSERT_EQ(a.code, kScanDone) << a.err;
    ASSERT_EQ(b.code, kScanDone) << b.err;
    EXPECT_NE(b.out.find("Ink:,#1e3cc8,#ffffff,40\r\n"), std::string::npos) << b.out;
    const std::vector<Point> pa = points(a.out), pb = points(b.out);
    ASSERT_GT(pa.size(), 140u);
    ASSERT_EQ(pa.size(), pb.size());
    double worst = 0, sum2 = 0;
    for (size_t i = 0; i < pb.size(); ++i) {
        ASSERT_GT(pb[i].y, 0);
        // Half a pixel of the smaller picture, in decades and in x.
        EXPECT_NEAR(std::log10(pa[i].y), std::log10(pb[i].y), 0.5 / 500) << i;
        EXPECT_NEAR(pa[i].x, pb[i].x, 0.5 * 10 / 680) << i;
        const double e = std::log10(pb[i].y) - InkChart::sigmoid(pb[i].x);
        worst = std::max(worst, std::fabs(e));
        sum2 += e * e;
    }
    // In per cent of the axis range (one decade).
    const double rms = 100 * std::sqrt(sum2 / double(pb.size()));
    RecordProperty("rms_percent", std::to_string(rms));
    EXPECT_LE(rms, 0.3) << "worst " << 100 * worst << " %";
}

} // namespace
} // namespace plotrun::test
