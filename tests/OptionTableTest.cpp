// The option table drives the scanner's usage text and flags, the settings
// file, the options checks and the header block: every row is checked
// through each of them, so a row added later is checked the same way.
#include "BmpFile.h"
#include "ScanFlags.h"
#include "ScannerRun.h"
#include "WorkedExample.h"

#include "../files/SettingsFile.h"
#include "InkModel.h"
#include "NumberText.h"
#include "OptionChecks.h"
#include "Report.h"
#include "ScanOptions.h"
#include "Series.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace plotrun::test {
namespace {

// The worked example with real values above 0, so that either axis may be
// logarithmic.
SavedSettings base()
{
    SavedSettings s;
    s.record = workedExampleSettings();
    s.record.RealOriginX = s.record.RealOriginY = 1;
    s.pictureWidth = 640;
    s.pictureHeight = 480;
    return s;
}

// The calibration rows are written only in a kind that uses them: here a
// perspective on the worked example's marks, with C beyond them.
void perspective(OptionValues& v)
{
    ScanSettings& r = v.record;
    r.Calibration.Kind = CalibrationKind::FourPoint;
    r.Calibration.X1Y = r.OriginY + 1;
    r.Calibration.Y1X = r.OriginX + 1;
    r.Calibration.CornerX = r.RefX + 2;
    r.Calibration.CornerY = r.RefY + 3;
}

// Another value that the checks accept, for each kind.
void setAnother(const ScanOption& row, OptionValues& v)
{
    if (row.inUse)
        perspective(v);
    switch (row.kind) {
    case OptionKind::Whole: row.whole(v) = std::min(row.most, wholeIn(row, v) + 1); break;
    case OptionKind::OnOff: row.onOff(v) = !onOffIn(row, v); break;
    case OptionKind::Positions:
    case OptionKind::Reals:
        for (int i = 0; i < numberCount(row); ++i)
            row.number(v, i) += row.kind == OptionKind::Reals ? 0.5 : 1;
        break;
    case OptionKind::Colour: row.colour(v) ^= 0x102030; break;
    case OptionKind::Point:
        row.number(v, 0) = 61;
        row.number(v, 1) = 140;
        break;
    case OptionKind::FieldList: v.fields.sdevY = true; break;
    case OptionKind::ColumnNames: v.fields.names[0] = "T"; break;
    case OptionKind::Delimiter: v.fields.delimiter = ";"; break;
    case OptionKind::DecimalSeparator: v.decimalSeparator = "'"; break;
    case OptionKind::Choice: break; // the perspective is another kind than the start
    case OptionKind::ReferencePoints: row.points(v).push_back({70.5, 90, 2.5, 3}); break;
    case OptionKind::SeriesList:
        row.series(v).push_back({.Name = "control", .HasInk = true, .Ink = 0xB4771F, .StartX = 61, .StartY = 140});
        break;
    }
}

// The value of a row as its flag gives it.
QString flagValue(const ScanOption& row, const OptionValues& v)
{
    const auto numbers = [&] {
        QStringList n;
        for (int i = 0; i < numberCount(row); ++i)
            n << QString::number(numberIn(row, v, i), 'g', 17);
        return n.join(',');
    };
    switch (row.kind) {
    case OptionKind::Whole: return QString::number(wholeIn(row, v));
    case OptionKind::Positions:
    case OptionKind::Reals:
    case OptionKind::Point: return numbers();
    case OptionKind::Colour: return QString::fromStdString(colourText(colourIn(row, v)));
    case OptionKind::FieldList: return "real,sdevy";
    case OptionKind::ColumnNames: return "x=T";
    case OptionKind::Delimiter: return ";";
    case OptionKind::DecimalSeparator: return "'";
    case OptionKind::Choice: return row.choices[row.choice(v)];
    case OptionKind::ReferencePoints: {
        const ReferencePoint& p = row.points(const_cast<OptionValues&>(v)).front();
        return QString("%1,%2=%3,%4").arg(p.x).arg(p.y).arg(p.realX).arg(p.realY);
    }
    case OptionKind::SeriesList:
        return QString::fromStdString(seriesSpecText(row.series(const_cast<OptionValues&>(v)).front()));
    case OptionKind::OnOff: return {};
    }
    return {};
}

QJsonValue at(const QJsonObject& top, const QString& key)
{
    QJsonValue v = top;
    for (const QString& name : key.split('.'))
        v = v.toObject().value(name);
    return v;
}

QJsonObject jsonOf(const SavedSettings& s) { return QJsonDocument::fromJson(settingsToJson(s)).object(); }

std::string nameOf(const ScanOption& row) { return row.flag ? row.flag : row.keys[0]; }

TEST(OptionTable, EveryFlagIsInTheUsageTextWithItsValueAndHelp)
{
    const std::string usage = usageText();
    for (const ScanOption& row : scanOptions()) {
        if (!row.flag)
            continue;
        const std::string names = std::string("\n  ") + row.flag + (row.value ? std::string(" ") + row.value : "");
        EXPECT_NE(usage.find(names), std::string::npos) << names;
        const std::string help = helpText(row);
        EXPECT_EQ(help.find("{start}"), std::string::npos) << nameOf(row);
        EXPECT_NE(usage.find(help.substr(0, help.find('\n'))), std::string::npos) << nameOf(row);
    }
    EXPECT_NE(usage.find("--threshold N           default 128\n"), std::string::npos);
    EXPECT_NE(usage.find("--gap N                 empty rows that split a strip into runs (default 3)\n"),
              std::string::npos);
}

TEST(OptionTable, EveryKeyIsWrittenAndReadBackByTheSettingsFile)
{
    const SavedSettings start = base();
    for (const ScanOption& row : scanOptions()) {
        SavedSettings s = start;
        setAnother(row, s);
        const QJsonObject json = jsonOf(s);
        for (int i = 0; i < std::max(1, numberCount(row)); ++i) {
            const QString key = row.keys[i];
            EXPECT_FALSE(at(json, key).isUndefined()) << key.toStdString();
            EXPECT_NE(at(json, key), at(jsonOf(start), key)) << key.toStdString();
        }
        EXPECT_EQ(settingsFromJson(settingsToJson(s)), s) << nameOf(row);
    }
}

TEST(OptionTable, TheRowsOfAGroupAgreeHowTheFileHoldsIt)
{
    std::map<std::string, InFile> groups;
    for (const ScanOption& row : scanOptions()) {
        const std::string key = row.keys[0];
        const auto [it, added] = groups.emplace(key.substr(0, key.find('.')), row.inFile);
        EXPECT_EQ(it->second, row.inFile) << key;
    }
    // The follow group is written only once a value differs from its start.
    const QJsonObject json = jsonOf(base());
    for (const auto& [group, inFile] : groups)
        EXPECT_EQ(json.contains(QString::fromStdString(group)), inFile != InFile::WhenSet) << group;
}

TEST(OptionTable, EveryFlagSetsItsKeysInTheSavedSettings)
{
    QTemporaryDir dir;
    const QString picture = dir.filePath("worked.bmp");
    ASSERT_TRUE(writeFile(picture, bmpBytes(640, 480, 24, workedExamplePixel, {})));
    const QStringList start{"--origin",   "50,40",  "--ref",  "250,240",      "--real-origin",       "1,1",
                            "--real-ref", "10,100", "--area", "60,50,63,200", "--decimal-separator", "."};
    const QString baseFile = dir.filePath("base.json");
    ASSERT_EQ(scanner(start + QStringList{"--save-settings", baseFile, picture}).code, kScanDone);
    const SavedSettings saved = readSettingsFile(baseFile);
    // The calibration's rows, which other marks go with, have flag tests of
    // their own.
    for (const ScanOption& row : scanOptions()) {
        if (!row.flag || row.inUse)
            continue;
        SavedSettings want = saved;
        setAnother(row, want);
        QStringList args = start;
        // An option that tunes another goes with it, as it stands.
        if (const ScanOption* with = row.goesWith[0] ? optionByFlag(row.goesWith[0]) : nullptr) {
            args << with->flag;
            if (with->value)
                args << flagValue(*with, saved);
        }
        args << row.flag;
        if (row.value)
            args << flagValue(row, want);
        const QString file = dir.filePath("flag.json");
        const ScanRun r = scanner(args + QStringList{"--save-settings", file, picture});
        ASSERT_EQ(r.code, kScanDone) << nameOf(row) << ": " << r.err;
        const QJsonObject got = QJsonDocument::fromJson(settingsToJson(readSettingsFile(file))).object();
        for (int i = 0; i < std::max(1, numberCount(row)); ++i)
            EXPECT_EQ(at(got, row.keys[i]), at(jsonOf(want), row.keys[i])) << nameOf(row) << " " << row.keys[i];
    }
}

// --- The checks

TEST(OptionTable, EveryBoxStartsAtItsStartValueAndWholeNumbersAreJudgedByTheirRange)
{
    const OptionBoxes start;
    const OptionValues startValues;
    for (const ScanOption& row : scanOptions()) {
        const OptionControl& c = row.controls[0];
        if (row.kind == OptionKind::Whole && c.text) {
            EXPECT_EQ(start.*c.text, wholeBoxText(row, row.start)) << nameOf(row);
        }
        if (row.kind == OptionKind::OnOff && c.check) {
            EXPECT_EQ(start.*c.check, onOffIn(row, startValues)) << nameOf(row);
        }
        if (row.kind == OptionKind::Colour && c.colour) {
            EXPECT_EQ(start.*c.colour, colourIn(row, startValues)) << nameOf(row);
        }
        if (row.kind != OptionKind::Whole || !c.text || row.ownRules)
            continue;
        OptionBoxes b = exactBoxes(base().record);
        const auto judged = [&](const std::string& text) {
            b.*c.text = text;
            return checkOptions(b, base().record, 640, 480, ".");
        };
        OptionVerdict v = judged(formatWhole(row.least));
        EXPECT_TRUE(v.inputValid) << nameOf(row) << v.messages;
        EXPECT_EQ(wholeIn(row, OptionValues{v.record}), row.least) << nameOf(row);
        v = judged(formatWhole(int64_t(row.least) - 1));
        EXPECT_EQ(v.messages, rangeText(row) + "\n") << nameOf(row);
        EXPECT_EQ(v.boxes.*c.text, wholeBoxText(row, wholeIn(row, OptionValues{base().record}))) << nameOf(row);
        EXPECT_EQ(judged("1.5").messages, invalidText(row) + "\n") << nameOf(row);
        if (row.most < std::numeric_limits<int32_t>::max()) {
            EXPECT_EQ(judged(formatWhole(int64_t(row.most) + 1)).messages, rangeText(row) + "\n") << nameOf(row);
        }
        // The settings file names the key in the checks' refusal.
        SavedSettings s = base();
        row.whole(s) = row.least - 1;
        try {
            settingsFromJson(settingsToJson(s));
            ADD_FAILURE() << nameOf(row);
        } catch (const SettingsFileError& e) {
            EXPECT_NE(std::string(e.what()).find("the key \"" + std::string(row.keys[0]) + "\": " + rangeText(row)),
                      std::string::npos)
                << e.what();
        }
        // A flag judged as it is read is bad usage at once.
        if (row.judgedAsRead) {
            EXPECT_EQ(scanner({row.flag, QString::number(row.least - 1), "x.png"}).code, kScanUsage) << nameOf(row);
        }
    }
}

// --- The header block

// The cells a row adds to the header, as the block shows them.
std::string shownCells(const ScanOption& row, const ScanSettings& s)
{
    const OptionValues v{s};
    const std::string label = row.header.cells[0] ? row.header.cells[0] : "";
    switch (row.header.form) {
    case HeaderForm::Value:
    case HeaderForm::ValueWhenSet: return label + "," + formatWhole(wholeIn(row, v));
    case HeaderForm::WhenOn: return label + (row.header.cells[1] ? std::string(",") + row.header.cells[1] : "");
    case HeaderForm::Pairs:
        return label + "," + formatReal(numberIn(row, v, 0), ".") + "," + formatReal(numberIn(row, v, 1), ".");
    case HeaderForm::Joined:
    case HeaderForm::Lines: break;
    }
    std::string cells = label.empty() ? "" : "," + label;
    switch (row.kind) {
    case OptionKind::Whole: return cells + "," + formatWhole(row.shown ? row.shown(s) : wholeIn(row, v));
    case OptionKind::Colour: return cells + "," + colourText(colourIn(row, v));
    default: return cells + "," + formatReal(numberIn(row, v, 0), ".") + "," + formatReal(numberIn(row, v, 1), ".");
    }
}

std::string header(const ScanSettings& s)
{
    std::string text;
    for (const std::string& line : headerBlock({"640", 480, "24", s.WeightedX}, s, ",", "."))
        text += line + "\n";
    return text;
}

// The line of the header that starts with `label`, or "".
std::string lineStarting(const std::string& text, const std::string& label)
{
    const size_t at = text.find("\n" + label);
    return at == std::string::npos ? "" : text.substr(at + 1, text.find('\n', at + 1) - at - 1);
}

// The row whose line a joined row adds to.
const ScanOption* lineOf(const ScanOption& joined)
{
    const ScanOption* line = nullptr;
    for (const ScanOption& row : scanOptions()) {
        if (&row == &joined)
            return line;
        if (row.header.place == joined.header.place && row.header.form != HeaderForm::Joined)
            line = &row;
    }
    return nullptr;
}

TEST(OptionTable, EveryHeaderLineIsThereWhenItsOptionIsOnAndAbsentWhenOff)
{
    int rows = 0;
    for (const ScanOption& row : scanOptions()) {
        if (row.header.place == HeaderPlace::None || row.inUse)
            continue; // the calibration's lines are checked with its scans
        ++rows;
        OptionValues on{base().record};
        const ScanOption* line = row.header.form == HeaderForm::Joined ? lineOf(row) : &row;
        ASSERT_TRUE(line) << nameOf(row);
        if (line->header.form == HeaderForm::WhenOn)
            line->onOff(on) = true;
        if (row.kind != OptionKind::OnOff)
            setAnother(row, on);
        // Joined cells are looked for in their line.
        const auto where = [&](const ScanSettings& s) {
            return &row == line ? header(s) : lineStarting(header(s), line->header.cells[0]);
        };
        const std::string cells = shownCells(row, on.record);
        EXPECT_NE(where(on.record).find(cells), std::string::npos) << nameOf(row) << ": " << cells;
        const bool whenSet = line->header.form == HeaderForm::ValueWhenSet;
        if (line->header.form != HeaderForm::WhenOn && !whenSet && row.kind != OptionKind::Point)
            continue; // always there
        OptionValues off = on;
        if (row.kind == OptionKind::Point)
            row.number(off, 0) = row.number(off, 1) = -1;
        else if (whenSet)
            line->whole(off) = line->start;
        else
            line->onOff(off) = false;
        EXPECT_EQ(where(off.record).find(cells), std::string::npos) << nameOf(row) << ": " << cells;
    }
    EXPECT_GE(rows, 15);
    // With every option off, the block is the one it always was.
    std::string old = kWorkedExampleText;
    old = old.substr(0, old.find("X,Y,SDEV"));
    std::erase(old, '\r');
    EXPECT_EQ(header(workedExampleSettings()), old);
}

} // namespace
} // namespace plotrun::test

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
