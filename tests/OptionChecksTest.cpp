// The options dialog's OK checks, as a pure function over the box texts.
#include "OptionChecks.h"

#include <gtest/gtest.h>

namespace plotrun {
namespace {

constexpr int W = 50, H = 40;

OptionBoxes validBoxes()
{
    OptionBoxes b;
    b.SelSW = "2";
    b.Threshold = "100";
    b.SelOX = "5";
    b.SelOY = "4";
    b.SelOXR = "0";
    b.SelOYR = "0";
    b.SelX = "45";
    b.SelXR = "10";
    b.SelY = "35";
    b.SelYR = "100";
    b.SelSX1 = "0";
    b.SelSY1 = "0";
    b.SelSX2 = "50";
    b.SelSY2 = "40";
    return b;
}

OptionVerdict ok(const OptionBoxes& b, const ScanSettings& working = {}) { return checkOptions(b, working, W, H, "."); }

TEST(OptionChecks, AcceptsAndWritesAValidSetOfBoxes)
{
    OptionBoxes b = validBoxes();
    b.SelWt = true;
    const OptionVerdict v = ok(b);
    EXPECT_TRUE(v.inputValid);
    EXPECT_EQ(v.messages, "");
    EXPECT_EQ(v.record.ScanWidth, 2);
    EXPECT_EQ(v.record.Threshold, 100);
    EXPECT_EQ(v.record.OriginX, 5);
    EXPECT_EQ(v.record.RefY, 35);
    EXPECT_EQ(v.record.RealRefY, 100);
    EXPECT_TRUE(v.record.HasRealRefX && v.record.HasRealRefY);
    EXPECT_EQ(v.record.ScanEndX, 50);
    EXPECT_TRUE(v.record.WeightedX);
    EXPECT_EQ(v.boxes, b);
}

TEST(OptionChecks, TheFirstOkWithEmptyBoxesCollectsEveryMessageInOrder)
{
    const OptionVerdict v = ok(OptionBoxes{});
    EXPECT_FALSE(v.inputValid);
    EXPECT_EQ(v.messages, "Invalid X start scan value\n"
                          "Invalid X end scan value\n"
                          "Invalid Y start scan value\n"
                          "Invalid Y end scan value\n"
                          "Origin X is not a valid number\n"
                          "Origin Y is not a valid number\n"
                          "Reference X is not a valid number\n"
                          "Reference Y is not a valid number\n"
                          "Real reference X is not a valid number\n"
                          "Real reference Y is not a valid number\n");
    EXPECT_EQ(v.record.ScanWidth, 1);
    EXPECT_EQ(v.record.Threshold, 128);
    EXPECT_EQ(v.boxes.SelOXR, "0");
    EXPECT_EQ(v.boxes.SelSX1, "");
}

TEST(AreaChecks, ANegativeFractionTruncatesToZero)
{
    OptionBoxes b = validBoxes();
    b.SelSX1 = "-0.5";
    const OptionVerdict v = ok(b);
    EXPECT_TRUE(v.inputValid) << v.messages;
    EXPECT_EQ(v.record.ScanStartX, 0);
}

TEST(AreaChecks, EndMustLieAboveTheStartAndWithinThePicture)
{
    OptionBoxes b = validBoxes();
    b.SelSX1 = "10";
    b.SelSX2 = "10";
    EXPECT_EQ(ok(b).messages, "End X scan point out of range.\n");
    b.SelSX2 = "51";
    EXPECT_EQ(ok(b).messages, "End X scan point out of range.\n");
    b.SelSX1 = "50";
    b.SelSX2 = "50";
    EXPECT_EQ(ok(b).messages, "Start X scan point out of range.\nEnd X scan point out of range.\n");
    b.SelSY1 = "40";
    EXPECT_EQ(ok(b).messages, "Start X scan point out of range.\nEnd X scan point out of range.\n"
                              "Start Y scan point out of range.\nEnd Y scan point out of range.\n");
}

TEST(AreaChecks, AnUnreadableStartStillLetsTheEndBeJudgedAndStored)
{
    OptionBoxes b = validBoxes();
    b.SelSX1 = "x";
    b.SelSX2 = "0";
    EXPECT_EQ(ok(b).messages, "Invalid X start scan value\nEnd X scan point out of range.\n");
    b.SelSX2 = "30";
    const OptionVerdict v = ok(b);
    EXPECT_EQ(v.messages, "Invalid X start scan value\n");
    EXPECT_EQ(v.record.ScanEndX, 30);
}

TEST(AreaChecks, ARefusedEndFallsBackToTheWorkingEndOrEmpties)
{
    ScanSettings working;
    working.ScanStartX = 5;
    working.ScanEndX = 20;
    OptionBoxes b = validBoxes();
    b.SelSX1 = "5";
    b.SelSX2 = "99";
    OptionVerdict v = ok(b, working);
    EXPECT_EQ(v.boxes.SelSX2, "20");
    EXPECT_EQ(v.record.ScanEndX, 20);
    b.SelSX1 = "30"; // accepted start beyond the working end
    v = ok(b, working);
    EXPECT_EQ(v.boxes.SelSX2, "");
    EXPECT_EQ(v.record.ScanEndX, -1);
    EXPECT_EQ(v.record.ScanStartX, 30);
}

TEST(ScanWidthChecks, WidthMustFitTheArea)
{
    OptionBoxes b = validBoxes();
    b.SelSX1 = "0";
    b.SelSX2 = "50";
    b.SelSW = "0";
    ScanSettings working;
    working.ScanWidth = 3;
    OptionVerdict v = ok(b, working);
    EXPECT_EQ(v.messages, "Scan width must be 1.\n");
    EXPECT_EQ(v.boxes.SelSW, "3");
    EXPECT_EQ(v.record.ScanWidth, 3);
    b.SelSW = "60";
    EXPECT_EQ(ok(b).messages, "Scan width must between 1 and 50.\n");
    b.SelSW = "50";
    EXPECT_TRUE(ok(b).inputValid);
    b.SelSW = "two";
    v = ok(b, working);
    EXPECT_EQ(v.messages, "Invalid scan width\n");
    EXPECT_EQ(v.boxes.SelSW, "3");
    EXPECT_EQ(v.record.ScanWidth, 1);
}

TEST(ScanWidthChecks, ARefusedAreaSetsTheWidthToOneButKeepsTheText)
{
    OptionBoxes b = validBoxes();
    b.SelSW = "5";
    b.SelSY2 = "";
    const OptionVerdict v = ok(b);
    EXPECT_EQ(v.messages, "Invalid Y end scan value\n");
    EXPECT_EQ(v.boxes.SelSW, "5");
    EXPECT_EQ(v.record.ScanWidth, 1);
}

TEST(ThresholdChecks, AnUnreadableThresholdIsJudgedByItsFallback)
{
    OptionBoxes b = validBoxes();
    b.Threshold = "dark";
    OptionVerdict v = ok(b);
    EXPECT_EQ(v.messages, "Invalid threshold value\nThreshold must be between 1 and 255\n");
    EXPECT_EQ(v.boxes.Threshold, "0");
    EXPECT_EQ(v.record.Threshold, 0);
    ScanSettings working;
    working.Threshold = 90;
    v = ok(b, working);
    EXPECT_EQ(v.messages, "Invalid threshold value\n");
    EXPECT_EQ(v.record.Threshold, 90);
    b.Threshold = "256";
    EXPECT_EQ(ok(b, working).messages, "Threshold must be between 1 and 255\n");
    EXPECT_EQ(ok(b, working).boxes.Threshold, "90");
}

TEST(ReferenceChecks, TheReferenceMustLieBeyondTheOrigin)
{
    OptionBoxes b = validBoxes();
    b.SelOX = "49";
    b.SelX = "50";
    EXPECT_TRUE(ok(b).inputValid);
    b.SelX = "49";
    EXPECT_EQ(ok(b).messages, "Reference X is out of range\n");
    b.SelOX = "50";
    b.SelX = "50";
    const OptionVerdict v = ok(b);
    EXPECT_EQ(v.messages, "Origin X is out of range\n");
    EXPECT_EQ(v.record.OriginX, -1); // fallback: the working origin, not set
    EXPECT_EQ(v.boxes.SelOX, "");
    b.SelOX = "3";
    b.SelX = "0";
    EXPECT_EQ(ok(b).messages, "Reference X is out of range\n");
    b.SelX = "1e12";
    EXPECT_EQ(ok(b).messages, "Reference X is out of range\n");
}

TEST(ReferenceChecks, AReferenceAtZeroIsNeverShownAsFallback)
{
    ScanSettings working;
    working.RefY = 0;
    OptionBoxes b = validBoxes();
    b.SelY = "y";
    const OptionVerdict v = ok(b, working);
    EXPECT_EQ(v.boxes.SelY, "");
    EXPECT_EQ(v.record.RefY, 0);
}

TEST(RealChecks, ARealReferenceEqualToTheRealOriginIsRefused)
{
    OptionBoxes b = validBoxes();
    b.SelOXR = "2.5";
    b.SelXR = "2.5";
    OptionVerdict v = ok(b);
    EXPECT_EQ(v.messages, "Real X cannot be same as real origin X\n");
    EXPECT_EQ(v.boxes.SelXR, "");
    EXPECT_FALSE(v.record.HasRealRefX);
    EXPECT_EQ(v.record.RealRefX, -1);

    ScanSettings working; // a real reference accepted earlier comes back
    working.HasRealRefX = true;
    working.RealRefX = 7;
    v = ok(b, working);
    EXPECT_EQ(v.boxes.SelXR, "7");
    EXPECT_EQ(v.record.RealRefX, 7);
    EXPECT_TRUE(v.record.HasRealRefX);
}

TEST(RealChecks, AnUnreadableRealKeepsTheWorkingValue)
{
    ScanSettings working;
    working.RealOriginY = 3;
    OptionBoxes b = validBoxes();
    b.SelOYR = "?";
    b.SelYR = "";
    const OptionVerdict v = ok(b, working);
    EXPECT_EQ(v.messages, "Real origin Y is not a valid number\nReal reference Y is not a valid number\n");
    EXPECT_EQ(v.boxes.SelOYR, "3");
    EXPECT_EQ(v.record.RealOriginY, 3);
    EXPECT_EQ(v.record.RealRefY, -1);
    EXPECT_EQ(v.boxes.SelYR, "");
}

TEST(CalibrationRange, APictureWhoseEdgesMapBeyondTheDoubleRangeIsRefused)
{
    // Origin x 5, X1 at 6: one pixel is 1.7E308 units, and the picture's
    // right edge, 45 pixels on, lies far beyond the largest double.
    OptionBoxes b = validBoxes();
    b.SelX = "6";
    b.SelXR = "1.7E308";
    OptionVerdict v = ok(b);
    EXPECT_FALSE(v.inputValid);
    EXPECT_EQ(v.messages, "Real X of the picture's edges is out of range\n");
    EXPECT_EQ(v.boxes.SelXR, "");
    EXPECT_FALSE(v.record.HasRealRefX);
    EXPECT_EQ(v.record.RealRefX, -1);

    // A span wider than the double range, on y, with values that are each fine.
    b = validBoxes();
    b.SelOYR = "-1.7E308";
    b.SelYR = "1.7E308";
    v = ok(b);
    EXPECT_EQ(v.messages, "Real Y of the picture's edges is out of range\n");
    EXPECT_EQ(v.boxes.SelYR, "");
    EXPECT_EQ(v.record.RealOriginY, -1.7e308);
}

TEST(CalibrationRange, LargeButFiniteEdgesAreAccepted)
{
    // X1 at 45 from origin 5, real 1E308: the right edge maps to 1.125E308.
    OptionBoxes b = validBoxes();
    b.SelXR = "1E308";
    b.SelYR = "-1E-300";
    const OptionVerdict v = ok(b);
    EXPECT_TRUE(v.inputValid) << v.messages;
    EXPECT_EQ(v.record.RealRefX, 1e308);
}

TEST(CalibrationRange, IsNotJudgedOnAnAxisWithARefusedBox)
{
    OptionBoxes b = validBoxes();
    b.SelX = "6";
    b.SelXR = "1.7E308";
    b.SelOX = "x";
    const OptionVerdict v = ok(b);
    EXPECT_EQ(v.messages, "Origin X is not a valid number\n");
}

TEST(BoxesFromRecord, ShowsSetValuesAndEmptiesTheOthers)
{
    ScanSettings r;
    r.OriginX = 0;
    r.RealRefX = 2.5;
    r.HasRealRefX = true;
    r.ScanWidth = 4;
    const OptionBoxes b = boxesFromRecord(r, "128", ",");
    EXPECT_EQ(b.SelOX, "0");
    EXPECT_EQ(b.SelOY, "");
    EXPECT_EQ(b.SelXR, "2,5");
    EXPECT_EQ(b.SelYR, "");
    EXPECT_EQ(b.SelOXR, "0");
    EXPECT_EQ(b.SelSW, "4");
}

// A log-y calibration that passes: 1 at the origin, 1000 at Y1.
OptionBoxes logBoxes()
{
    OptionBoxes b = validBoxes();
    b.LogYCheckBox = true;
    b.SelOYR = "1";
    b.SelYR = "1000";
    return b;
}

TEST(LogAxes, ABoxTickedGoesIntoTheRecordAndBack)
{
    OptionBoxes b = logBoxes();
    b.LogXCheckBox = true;
    b.SelOXR = "0.5";
    const OptionVerdict v = ok(b);
    EXPECT_TRUE(v.inputValid) << v.messages;
    EXPECT_TRUE(v.record.LogX);
    EXPECT_TRUE(v.record.LogY);
    EXPECT_EQ(v.boxes, b);
    const OptionBoxes shown = boxesFromRecord(v.record, "100", ".");
    EXPECT_TRUE(shown.LogXCheckBox && shown.LogYCheckBox);
}

TEST(LogAxes, BothBoxesOffLeaveEverythingAsBefore)
{
    const OptionVerdict v = ok(validBoxes());
    EXPECT_FALSE(v.record.LogX || v.record.LogY);
    EXPECT_TRUE(v.inputValid);
    // 0 is a real origin like any other on a linear axis.
    EXPECT_EQ(v.record.RealOriginY, 0);
}

TEST(LogAxes, RealValuesOfZeroOrBelowAreRefused)
{
    OptionBoxes b = logBoxes();
    b.SelOYR = "0";
    b.SelYR = "-5";
    OptionVerdict v = ok(b);
    EXPECT_FALSE(v.inputValid);
    EXPECT_EQ(v.messages, "Real origin Y must be greater than 0 on a logarithmic axis\n"
                          "Real reference Y must be greater than 0 on a logarithmic axis\n");
    // The working values (0 and -1 at the start) are no fallback on a log axis.
    EXPECT_EQ(v.boxes.SelOYR, "");
    EXPECT_EQ(v.boxes.SelYR, "");
    EXPECT_FALSE(v.record.HasRealOriginY);
    EXPECT_FALSE(v.record.HasRealRefY);

    // The x axis alike, and a box on y only refuses on y.
    b = validBoxes();
    b.LogXCheckBox = true;
    b.SelOXR = "-0.1";
    v = ok(b);
    EXPECT_EQ(v.messages, "Real origin X must be greater than 0 on a logarithmic axis\n");
}

TEST(LogAxes, APositiveWorkingValueIsTheFallback)
{
    ScanSettings working;
    working.RealOriginY = 2;
    working.RealRefY = 200;
    working.HasRealRefY = true;
    OptionBoxes b = logBoxes();
    b.SelOYR = "0";
    b.SelYR = "0";
    const OptionVerdict v = ok(b, working);
    EXPECT_EQ(v.messages, "Real origin Y must be greater than 0 on a logarithmic axis\n"
                          "Real reference Y must be greater than 0 on a logarithmic axis\n");
    EXPECT_EQ(v.boxes.SelOYR, "2");
    EXPECT_EQ(v.boxes.SelYR, "200");
    EXPECT_EQ(v.record.RealOriginY, 2);
    EXPECT_EQ(v.record.RealRefY, 200);
}

TEST(LogAxes, EdgesBeyondTheDoubleRangeAreRefused)
{
    // Origin y 4 is 1, Y1 at 35 is 1E300: the top edge, 5 pixels on, is
    // beyond the largest double; and the bottom one below the smallest.
    OptionBoxes b = logBoxes();
    b.SelYR = "1E300";
    OptionVerdict v = ok(b);
    EXPECT_EQ(v.messages, "Real Y of the picture's edges is out of range\n");
    EXPECT_EQ(v.boxes.SelYR, "");

    b = logBoxes();
    b.SelOYR = "1E-300";
    b.SelYR = "1";
    v = ok(b);
    EXPECT_EQ(v.messages, "Real Y of the picture's edges is out of range\n");

    b = logBoxes();
    b.SelYR = "1E200";
    v = ok(b);
    EXPECT_TRUE(v.inputValid) << v.messages;
}

TEST(FollowChecks, TheGapAndTheMaximumJumpAreJudgedLikeTheOtherBoxes)
{
    ScanSettings working;
    working.Follow.Gap = 5;
    working.Follow.MaxJump = 12;
    OptionBoxes b = validBoxes();
    b.SelGap = "4";
    b.SelMaxJump = "20";
    OptionVerdict v = ok(b, working);
    EXPECT_TRUE(v.inputValid) << v.messages;
    EXPECT_EQ(v.record.Follow.Gap, 4);
    EXPECT_EQ(v.record.Follow.MaxJump, 20);
    // An empty maximum jump, or 0, is the automatic one.
    for (const char* automatic : {"", " ", "0"}) {
        b.SelMaxJump = automatic;
        v = ok(b, working);
        EXPECT_TRUE(v.inputValid) << v.messages;
        EXPECT_EQ(v.record.Follow.MaxJump, 0) << automatic;
        EXPECT_EQ(v.boxes.SelMaxJump, automatic);
    }
    // Refused, each with its message, and the working value back in its box.
    b.SelGap = "0";
    b.SelMaxJump = "-1";
    v = ok(b, working);
    EXPECT_FALSE(v.inputValid);
    EXPECT_EQ(v.messages, "Gap must be 1 or more\nMaximum jump must be 0 or more\n");
    EXPECT_EQ(v.boxes.SelGap, "5");
    EXPECT_EQ(v.boxes.SelMaxJump, "12");
    EXPECT_EQ(v.record.Follow.Gap, 5);
    EXPECT_EQ(v.record.Follow.MaxJump, 12);
    b.SelGap = "x";
    b.SelMaxJump = "1.5";
    EXPECT_EQ(ok(b, working).messages, "Invalid gap\nInvalid maximum jump\n");
    b.SelMaxJump = "x";
    EXPECT_EQ(ok(b).boxes.SelMaxJump, "") << "the automatic jump falls back to an empty box";
    // Shown again: the automatic jump as an empty box.
    EXPECT_EQ(boxesFromRecord(working, "128", ".").SelGap, "5");
    EXPECT_EQ(boxesFromRecord(working, "128", ".").SelMaxJump, "12");
    EXPECT_EQ(boxesFromRecord(ScanSettings{}, "128", ".").SelMaxJump, "");
}

} // namespace
} // namespace plotrun
