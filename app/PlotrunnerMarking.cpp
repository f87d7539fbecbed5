// The mouse on the picture: placing the origin, X1 and Y1 marks, drawing,
// locking and removing the scan area, and keeping marks and outline on the
// picture when its display size changes.
#include "Plotrunner.h"

#include "../dialogs/Notice.h"
#include "NumberText.h"

#include <QFrame>

#include <algorithm>
#include <cmath>

namespace plotrun {

namespace {

// Marks are placed in extended precision and kept as doubles; the order of
// the operations is part of the result once the values are truncated.
double windowToBitmapX(int pw, int iw, int wx, int l)
{
    return static_cast<double>(static_cast<long double>(pw) / iw * (wx - l));
}

double windowToBitmapY(int ph, int ih, int wy, int t)
{
    return static_cast<double>(ph * (1.0L - static_cast<long double>(wy - t) / ih));
}

QString number(double v) { return QString::fromStdString(formatReal(v, decimalSeparator())); }

} // namespace

int TPlotrunner::L() const { return Image->x(); }
int TPlotrunner::T() const { return Image->y(); }
int TPlotrunner::IW() const { return Image->width(); }
int TPlotrunner::IH() const { return Image->height(); }
int TPlotrunner::PW() const { return picture.image.width(); }
int TPlotrunner::PH() const { return picture.image.height(); }

int32_t TPlotrunner::BitmapToWindowX(double x) const
{
    if (PW() <= 0)
        return L();
    long double v = static_cast<long double>(IW()) / PW() * x + L() + 0.5L;
    if (v > L() + IW())
        v -= 1;
    return static_cast<int32_t>(v);
}

int32_t TPlotrunner::BitmapToWindowY(double y) const
{
    if (PH() <= 0)
        return T();
    long double v = IH() * (1.0L - static_cast<long double>(y) / PH()) + T() + 0.5L;
    if (v > T() + IH())
        v -= 1;
    return static_cast<int32_t>(v);
}

void TPlotrunner::tlbtnMarkOClick(QAction* sender)
{
    const int m = sender == tlbtnMarkO ? 1 : sender == tlbtnMarkX ? 2 : 3;
    QAction* buttons[] = {tlbtnMarkO, tlbtnMarkX, tlbtnMarkY};
    Shape* marks[] = {&Image->shpOref, &Image->shpXref, &Image->shpYref};
    if (sender->isChecked()) {
        for (int i = 0; i < 3; ++i) {
            if (i == m - 1)
                continue;
            buttons[i]->setEnabled(false);
            marks[i]->visible = false;
        }
        MarkingMode = uint8_t(m);
        Image->shpScan.visible = false;
    } else {
        MarkingMode = 0;
        for (QAction* b : buttons)
            b->setEnabled(true);
        if (!NoScanArea)
            Image->shpScan.visible = true;
        for (Shape* s : marks)
            s->visible = true;
        FormResize();
    }
    Image->shapesChanged();
}

void TPlotrunner::ImageMouseDown(Qt::MouseButton button, int x, int y)
{
    if (!PictureLoaded || button == Qt::RightButton)
        return;
    if (MarkingMode != 0) {
        MarkX = x + L();
        MarkY = y + T();
        moveMark();
        PlacingMark = true;
        return;
    }
    if (ScanLocked || !NoScanArea)
        return;
    DragStartX = x + L();
    DragStartY = y + T();
    Dragging = true;
    Image->shpScan.visible = true;
    Image->shapesChanged();
}

void TPlotrunner::moveMark()
{
    switch (MarkingMode) {
    case 1: Image->shpOref.setBounds(MarkX - 8, MarkY - 8, 16, 16); break;
    case 2: Image->shpXref.setBounds(MarkX, T(), 1, IH()); break;
    case 3: Image->shpYref.setBounds(L(), MarkY, IW(), 1); break;
    default: break;
    }
    Image->shapesChanged();
}

void TPlotrunner::ImageMouseMove(int x, int y)
{
    if (PlacingMark) {
        x = std::clamp(x, 0, IW());
        y = std::clamp(y, 0, IH());
        MarkX = x + L();
        MarkY = y + T();
        // Keep the mark on the picture.
        if (MarkingMode == 1 || MarkingMode == 2)
            MarkX = std::min(MarkX, L() + IW() - 1);
        if (MarkingMode == 1 || MarkingMode == 3)
            MarkY = std::min(MarkY, T() + IH() - 1);
        moveMark();
        return;
    }
    if (ScanLocked || !Dragging)
        return;
    x = std::clamp(x, 0, IW());
    y = std::clamp(y, 0, IH());
    DragEndX = x + L();
    DragEndY = y + T();
    Image->shpScan.setBounds(std::min(DragStartX, DragEndX), std::min(DragStartY, DragEndY),
                             std::abs(DragEndX - DragStartX), std::abs(DragEndY - DragStartY));
    Image->shapesChanged();
}

void TPlotrunner::ImageMouseUp(Qt::MouseButton button)
{
    if (button == Qt::RightButton)
        return;
    if (PlacingMark) {
        placeMark();
        return;
    }
    if (ScanLocked || !Dragging)
        return;
    Shape& area = Image->shpScan;
    if (area.bounds.width() == 0 || area.bounds.height() == 0) {
        area.visible = false;
        area.setBounds(-1, -1, 0, 0);
        NoScanArea = true;
        Dragging = false;
        setStatus("Scan area was not selected.");
        Image->shapesChanged();
        return;
    }
    AreaX1 = windowToBitmapX(PW(), IW(), DragStartX, L());
    AreaX2 = windowToBitmapX(PW(), IW(), DragEndX, L());
    AreaY1 = windowToBitmapY(PH(), IH(), DragStartY, T());
    AreaY2 = windowToBitmapY(PH(), IH(), DragEndY, T());
    if (AreaX2 < AreaX1)
        std::swap(AreaX1, AreaX2);
    if (AreaY2 < AreaY1)
        std::swap(AreaY1, AreaY2);
    settings.ScanStartX = std::trunc(AreaX1);
    settings.ScanEndX = std::trunc(AreaX2);
    settings.ScanStartY = std::trunc(AreaY1);
    settings.ScanEndY = std::trunc(AreaY2);
    Dragging = false;
    NoScanArea = false;
    setStatus("Scan area set to: (" + number(settings.ScanStartX) + ", " + number(settings.ScanStartY) + ") - (" +
              number(settings.ScanEndX) + ", " + number(settings.ScanEndY) + ")");
}

void TPlotrunner::placeMark()
{
    const int i = MarkingMode - 1;
    MarkExactX[i] = windowToBitmapX(PW(), IW(), MarkX, L());
    MarkExactY[i] = windowToBitmapY(PH(), IH(), MarkY, T());
    PlacingMark = false;
    QString text;
    switch (MarkingMode) {
    case 1: {
        settings.OriginX = std::trunc(MarkExactX[0]);
        settings.OriginY = std::trunc(MarkExactY[0]);
        text = "Origin set to: (" + number(settings.OriginX) + " , " + number(settings.OriginY) + " )";
        // A reference counts as set when it is above 0.
        const bool xSet = settings.RefX > 0, ySet = settings.RefY > 0;
        const bool xOut = settings.RefX <= settings.OriginX, yOut = settings.RefY <= settings.OriginY;
        if (xSet && ySet && xOut && yOut) {
            text += " => References X1 and Y1 are out of ranges!";
        } else {
            if (xSet && xOut)
                text += " => Reference X1 is out of range!";
            if (ySet && yOut)
                text += " => Reference Y1 is out of range!";
        }
        break;
    }
    case 2:
        settings.RefX = std::trunc(MarkExactX[1]);
        text = "X1 set to: " + number(settings.RefX);
        if (settings.RefX <= settings.OriginX) {
            Execute->setEnabled(false);
            text += " => Out of range!";
        }
        break;
    case 3:
        settings.RefY = std::trunc(MarkExactY[2]);
        text = "Y1 set to: " + number(settings.RefY);
        if (settings.RefY <= settings.OriginY) {
            Execute->setEnabled(false);
            text += " => Out of range!";
        }
        break;
    default:
        break;
    }
    setStatus(text);
}

void TPlotrunner::shpScanMouseUp(Qt::MouseButton button)
{
    if (button != Qt::RightButton || ScanLocked)
        return;
    btnRemoveScanClick();
    Image->shpScan.visible = true; // the empty bounds show nothing
}

void TPlotrunner::btnRemoveScanClick()
{
    if (ScanLocked)
        return;
    NoScanArea = true;
    Dragging = false;
    Image->shpScan.visible = false;
    Image->shpScan.setBounds(-1, -1, 0, 0);
    AreaX1 = AreaX2 = AreaY1 = AreaY2 = -1;
    settings.ScanStartX = settings.ScanStartY = settings.ScanEndX = settings.ScanEndY = -1;
    Image->shapesChanged();
}

void TPlotrunner::btnScanLockClick()
{
    const int step = ScanLocked ? -1 : 1;
    btnScanLockPicture += step;
    btnRemoveScanPicture += step;
    btnScanLock->setIcon(QIcon(QString(":/icons/scan-%1.png").arg(btnScanLockPicture)));
    btnRemoveScan->setIcon(QIcon(QString(":/icons/scan-%1.png").arg(btnRemoveScanPicture)));
    ScanLocked = !ScanLocked;
    btnRemoveScan->setEnabled(!btnRemoveScan->isEnabled());
}

void TPlotrunner::FormResize()
{
    if (!BackPanel->isHidden()) // no picture accepted yet
        return;
    if (!NoScanArea && MarkingMode == 0) {
        Shape& area = Image->shpScan;
        area.visible = false;
        const int xa = BitmapToWindowX(AreaX1), xb = BitmapToWindowX(AreaX2);
        const int ya = BitmapToWindowY(AreaY1), yb = BitmapToWindowY(AreaY2);
        area.setBounds(std::min(xa, xb), std::min(ya, yb), std::abs(xb - xa), std::abs(yb - ya));
        area.visible = true;
    }
    for (int i = 0; i < 3; ++i) {
        MarkX = BitmapToWindowX(MarkExactX[i]);
        MarkY = BitmapToWindowY(MarkExactY[i]);
        if (i == 0 && MarkExactX[0] >= 0)
            Image->shpOref.setBounds(MarkX - 8, MarkY - 8, 16, 16);
        if (i == 1 && MarkExactX[1] >= 0)
            Image->shpXref.setBounds(MarkX, T(), 1, IH());
        if (i == 2 && MarkExactY[2] >= 0)
            Image->shpYref.setBounds(L(), MarkY, IW(), 1);
    }
    Image->shapesChanged();
}

} // namespace plotrun
