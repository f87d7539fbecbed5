// plotrun-help-pictures FOLDER: the pictures of the help document, made from
// the running program on the ink chart: the counted pixels, the points of a
// darkness scan pulled off by the grid, the options dialog's Ink group, and
// the window with the Series panel after a scan of both curves.
// A tool, run by hand when the help changes; not a test.
#include "GuiTestSupport.h"

#include "../InkChart.h"
#include "CountedPixelsOverlay.h"

#include "../../files/PictureFile.h"

#include <QPushButton>

#include <cmath>
#include <cstdio>
#include <tuple>

using namespace plotrun;
using namespace plotrun::test;

namespace {

uint32_t scanColour(QRgb c) { return uint32_t(qRed(c)) | uint32_t(qGreen(c)) << 8 | uint32_t(qBlue(c)) << 16; }

bool saved(const QPixmap& picture, const QString& path)
{
    if (picture.save(path))
        return true;
    std::fprintf(stderr, "plotrun-help-pictures: cannot write %s\n", qPrintable(path));
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: plotrun-help-pictures FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    Program p;
    p.w.acceptPicture(pictureFromImage(InkChart::draw(800, 600)), "chart.png");
    ScanSettings s = InkChart::settings(800, 600);
    s.Ink.On = true;
    s.Ink.Ink = scanColour(InkChart::kBlue);
    editSettings(p.w, [&](ScanSettings& r) { r = s; });
    p.w.resize(820, 700);
    const QRect crop(250, 130, 440, 300); // around the crossing, in the view

    bool ok = trigger(p, "CountedPixels");
    const CountedPixelsOverlay& counted = p.w.countedPixels();
    ok = ok && QTest::qWaitFor([&] { return counted.settled() && !counted.overlay().isNull(); }, 10000);
    PictureView* view = imageOf(p.w);
    ok = ok && saved(view->grab(crop), folder + "/counted-pixels.png");
    ok = ok && trigger(p, "CountedPixels");
    editSettings(p.w, [&](ScanSettings& r) { r.Ink.On = false; });
    ok = ok && trigger(p, "Execute"); // darkness: points pulled off by the grid and the red line
    ok = ok && trigger(p, "PointsOnPicture");
    ok = ok && saved(view->grab(crop), folder + "/points-on-picture.png");
    ModalAnswers answers;
    answers.expect([&](QWidget* w) {
        auto* d = qobject_cast<TGOptions*>(w);
        if (!d)
            return;
        d->setPickedInk(scanColour(InkChart::kBlue));
        ok = ok && saved(d->findChild<QWidget*>("InkGroupBox")->grab(), folder + "/ink-group.png");
        d->findChild<QPushButton*>("CancelBtn")->click();
    });
    ok = ok && trigger(p, "Options");
    ok = ok && QTest::qWaitFor([&] { return answers.allAnswered(); }, 10000);

    // Both curves as series, each from a Start point at x = 1.
    editSettings(p.w, [&](ScanSettings& r) {
        r = InkChart::settings(800, 600);
        for (const auto& [name, ink, fn] : {std::tuple{"response", InkChart::kBlue, &InkChart::sigmoid},
                                            std::tuple{"control", InkChart::kRed, &InkChart::falling}}) {
            SeriesSettings one;
            one.Name = name;
            one.HasInk = true;
            one.Ink = scanColour(ink);
            one.StartX = std::round(r.OriginX + 0.1 * (r.RefX - r.OriginX));
            one.StartY = std::round(r.OriginY + fn(1) * (r.RefY - r.OriginY));
            r.Series.push_back(one);
        }
    });
    p.w.resize(900, 560);
    ok = ok && trigger(p, "Execute");
    if (ok && !p.action("PointsOnPicture")->isChecked())
        ok = trigger(p, "PointsOnPicture");
    QTest::qWait(200);
    ok = ok && saved(p.w.grab(), folder + "/series-panel.png");
    if (!ok)
        std::fprintf(stderr, "plotrun-help-pictures: not every picture was made\n");
    return ok ? 0 : 1;
}
