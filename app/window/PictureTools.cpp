#include "PictureTools.h"

#include "CalibrationGrid.h"
#include "Commands.h"
#include "CoordinatesLabel.h"
#include "CountedPixelsOverlay.h"
#include "Loupe.h"
#include "MarkSettings.h"
#include "PictureView.h"
#include "PointsOverlay.h"
#include "StraightenedView.h"
#include "FoundAxesOverlay.h"
#include "StandardErrorBox.h"
#include "ZoomArea.h"

#include "../../files/PictureFile.h"

#include <QAction>
#include <QStatusBar>

namespace plotrun {

PictureTools::PictureTools(QWidget& client, QStatusBar& statusBar, const ScanSettings& settings,
                           const Commands& commands, std::function<std::optional<int32_t>()> thresholdBox,
                           QObject* parent)
    : QObject(parent), settings_(settings), commands_(commands), thresholdBox_(std::move(thresholdBox))
{
    Image = new PictureView;
    Image->setObjectName("Image");
    zoom_ = new ZoomArea(Image, &client);
    Image->hide();
    marking_ = new MarkingTool(*Image, this);
    counted_ = new CountedPixelsOverlay(*Image, this);
    points_ = std::make_unique<PointsOverlay>(*Image);
    foundAxes_ = std::make_unique<FoundAxesOverlay>(*Image);
    // The marking tool hears the mouse first, then the coordinates and the loupe.
    connectMouse();
    calibrationGrid_ = new CalibrationGrid(*Image, settings_);
    coordinates_ = new CoordinatesLabel(*Image, *marking_, settings_, &client);
    statusBar.addPermanentWidget(coordinates_); // the status texts keep the left part
    loupe_ = new Loupe(*Image, *marking_, zoom_->viewport());
    // The counted pixels follow the area while it is dragged, and let it go
    // when none was drawn.
    connect(marking_, &MarkingTool::areaDragged, this, [this](const MarkingTool::Area& a) {
        ScanSettings next = settings_;
        takeArea(next, a);
        showCountedFor(next);
    });
    connect(marking_, &MarkingTool::areaNotSelected, this, [this] { refreshCounted(); });
    connect(Image, &PictureView::keyPressed, this, [this](int key, Qt::KeyboardModifiers m, bool& used) {
        guarded([&] {
            // Escape leaves Add Series before any mark mode.
            if (key == Qt::Key_Escape && pickingSeries_) {
                cancelSeriesPick();
                used = true;
                return;
            }
            used = marking_->keyPress(key, m);
        });
    });
    connect(Image, &PictureView::resized, this, [this] {
        refit();
        emit viewsChanged();
    });
    connect(zoom_, &ZoomArea::zoomChanged, this, &PictureTools::viewsChanged);
    straightened_ = new StraightenedView(&client);
    connect(straightened_, &StraightenedView::areaChosen, this, [this](double x1, double y1, double x2, double y2) {
        guarded([&] { marking_->chooseArea({x1, y1, x2, y2}); });
    });
    connect(straightened_, &StraightenedView::hidden, this, &PictureTools::viewsChanged);
    connectCommands();
}

PictureTools::~PictureTools() = default;

void PictureTools::connectMouse()
{
    connect(Image, &PictureView::mouseDown, this, [this](Qt::MouseButton b, int x, int y) {
        guarded([&] {
            if (!picker_.mouseDown(x, y))
                marking_->mouseDown(b, x, y);
        });
    });
    connect(Image, &PictureView::mouseMove, this,
            [this](int x, int y) { guarded([&] { marking_->mouseMove(x, y); }); });
    connect(Image, &PictureView::mouseUp, this, [this](Qt::MouseButton b, int, int) {
        guarded([&] {
            if (!pickInkUp())
                marking_->mouseUp(b);
        });
    });
    // A click inside the scan area picks too.
    connect(Image, &PictureView::scanShapeMouseUp, this, [this](Qt::MouseButton b) {
        guarded([&] {
            if (!pickInkUp())
                marking_->scanShapeMouseUp(b);
        });
    });
}

void PictureTools::connectCommands()
{
    const Commands& c = commands_;
    const std::pair<QAction*, void (PictureTools::*)()> handlers[] = {
        {c.btnRemoveScan, &PictureTools::btnRemoveScanClick},
        {c.CalibrationGrid, &PictureTools::CalibrationGridClick},
        {c.CountedPixels, &PictureTools::CountedPixelsClick},
        {c.PointsOnPicture, &PictureTools::PointsOnPictureClick},
        {c.Straightened, &PictureTools::StraightenedClick}};
    for (const auto& [action, handler] : handlers)
        connect(action, &QAction::triggered, this, [this, handler] { guarded([&] { (this->*handler)(); }); });
    for (QAction* a : {c.tlbtnMarkO, c.tlbtnMarkX, c.tlbtnMarkY, c.tlbtnMarkStart, c.MarkCorner, c.MarkPoint})
        connect(a, &QAction::triggered, this, [this, a] { guarded([&] { tlbtnMarkOClick(a); }); });
    // Escape leaves a mark mode as its button does.
    connect(marking_, &MarkingTool::leaveModeAsked, this, [this] {
        const Commands& c = commands_;
        for (QAction* a : {c.tlbtnMarkO, c.tlbtnMarkX, c.tlbtnMarkY, c.tlbtnMarkStart, c.MarkCorner, c.MarkPoint})
            if (a->isChecked())
                a->trigger();
    });
    connect(c.ZoomIn, &QAction::triggered, zoom_, &ZoomArea::zoomIn);
    connect(c.ZoomOut, &QAction::triggered, zoom_, &ZoomArea::zoomOut);
    connect(c.FitToWindow, &QAction::triggered, zoom_, &ZoomArea::fit);
    connect(c.Loupe, &QAction::toggled, this, [this](bool on) {
        loupe_->setWanted(on);
        emit viewsChanged();
    });
}

void PictureTools::setPicture(const QImage& picture)
{
    zoom_->setPictureSize(picture.size());
    Image->setPicture(picture);
    points_->clear();
    foundAxes_->clear();
    restraighten();
}

void PictureTools::showFoundAxes(const FoundAxes& found, QSize picture) { foundAxes_->setFound(found, picture); }

void PictureTools::showPicture()
{
    Image->show(); // a resize on the way refits only a picture shown before
    shown_ = true;
    marking_->setActive(true);
    Image->setCursor(Qt::CrossCursor);
    emit viewsChanged();
}

void PictureTools::hidePicture() { Image->hide(); }

void PictureTools::refit()
{
    if (shown_)
        marking_->refit();
}

void PictureTools::addViewFacts(ViewFacts& f) const
{
    f.pictureOnView = shown_;
    f.canZoomIn = zoom_->canZoomIn();
    f.canZoomOut = zoom_->canZoomOut();
    f.fitted = zoom_->fitted();
    f.markMode = marking_->mode();
    f.loupe = loupe_->wanted();
    f.calibrationGrid = !calibrationGrid_->isHidden();
    f.countedPixels = counted_->shown();
    f.pointsOnPicture = points_->shown();
    f.straightened = straightened_->isVisible();
    f.addingSeries = pickingSeries_;
}

void PictureTools::takeOptions(const ScanSettings& record)
{
    marking_->takeExactPositions(record);
    refreshCounted();
    restraighten();
}

void PictureTools::setCalibrated(bool calibrated)
{
    calibrationGrid_->setCalibrated(calibrated);
    coordinates_->setCalibrated(calibrated);
}

void PictureTools::restoreMarks(const MarkingTool::State& marks)
{
    marking_->restore(marks);
    marking_->takeCalibration(settings_);
    refreshCounted();
    restraighten();
}

void PictureTools::takeCalibration()
{
    marking_->takeCalibration(settings_);
    restraighten();
}

void PictureTools::restraighten()
{
    if (straightened_->isVisible())
        straightened_->straighten(Image->picture(), settings_);
}

void PictureTools::StraightenedClick()
{
    if (commands_.Straightened->isChecked()) {
        straightened_->straighten(Image->picture(), settings_);
        straightened_->show();
    } else {
        straightened_->hide();
    }
    emit viewsChanged();
}

SnappedMark PictureTools::snap(double x, double y) const
{
    if (Image->picture().isNull())
        return {false, x, y};
    return snapToCrossing(pixelView(Image->picture()), x, y);
}

void PictureTools::setLocked(bool locked) { marking_->setLocked(locked); }

void PictureTools::calibrationChanged()
{
    calibrationGrid_->calibrationChanged();
    coordinates_->calibrationChanged();
}

void PictureTools::refreshCounted() { showCountedFor(settings_); }

void PictureTools::showCountedFor(ScanSettings next)
{
    // The scan takes its threshold from the box.
    if (const std::optional<int32_t> t = thresholdBox_())
        next.Threshold = *t;
    counted_->setSettings(next);
}

void PictureTools::showTypedSettings(const ScanSettings& typed) { counted_->setSettings(typed); }

void PictureTools::showPoints(const std::vector<ResultRow>& rows, const ScanSettings& settings, bool withSpread,
                              QSize picture)
{
    points_->setResult(rows, settings, withSpread, picture);
}

void PictureTools::clearPoints() { points_->clear(); }

void PictureTools::showPointsView()
{
    points_->setShown(true);
    emit viewsChanged();
}

void PictureTools::startInkPick(std::function<uint32_t()> paper)
{
    paper_ = std::move(paper);
    pickingSeries_ = false;
    picker_.start();
}

void PictureTools::startSeriesPick()
{
    paper_ = [this] { return settings_.Ink.Paper; };
    pickingSeries_ = true;
    picker_.start();
    emit viewsChanged();
}

void PictureTools::cancelSeriesPick()
{
    if (!pickingSeries_)
        return;
    pickingSeries_ = false;
    picker_.cancel();
    emit viewsChanged();
}

// The release of a press that the picker took: the colour under it, read
// from the picture itself. True when the marking tool must not see it.
bool PictureTools::pickInkUp()
{
    if (!picker_.active())
        return false;
    const ScreenMap map = Image->screenMap();
    const std::optional<uint32_t> ink = picker_.mouseUp(pixelView(Image->picture()), map, paper_());
    if (pickingSeries_) {
        pickingSeries_ = false;
        emit viewsChanged();
        if (ink) {
            const QPoint at = map.markedPixel(picker_.pressedAt(), {true, true});
            emit seriesPicked(*ink, at.x(), at.y());
        }
        return true;
    }
    if (ink)
        emit inkPicked(*ink);
    return true;
}

void PictureTools::tlbtnMarkOClick(QAction* sender)
{
    cancelSeriesPick(); // the next click places the mark
    const Commands& c = commands_;
    const auto mode = sender == c.tlbtnMarkO       ? MarkingTool::OriginMark
                      : sender == c.tlbtnMarkX     ? MarkingTool::X1Mark
                      : sender == c.tlbtnMarkStart ? MarkingTool::StartMark
                      : sender == c.MarkCorner     ? MarkingTool::CornerMark
                      : sender == c.MarkPoint      ? MarkingTool::PointMark
                                                   : MarkingTool::Y1Mark;
    marking_->setMode(mode, sender->isChecked());
    emit viewsChanged();
}

void PictureTools::btnRemoveScanClick() { marking_->removeArea(); }

void PictureTools::CalibrationGridClick()
{
    calibrationGrid_->setVisible(commands_.CalibrationGrid->isChecked());
    emit viewsChanged();
}

void PictureTools::CountedPixelsClick()
{
    refreshCounted();
    counted_->setShown(commands_.CountedPixels->isChecked());
    emit viewsChanged();
}

void PictureTools::PointsOnPictureClick()
{
    points_->setShown(commands_.PointsOnPicture->isChecked());
    emit viewsChanged();
}

} // namespace plotrun
