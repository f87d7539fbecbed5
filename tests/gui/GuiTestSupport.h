#pragma once
// Helpers for the window tests: the program as main() builds it, commands
// triggered by name, and modal boxes and dialogs answered as they open.

#include "MarkingTool.h"
#include "PictureView.h"
#include "ProgramWindows.h"
#include "ResultChart.h"
#include "ResultGridModel.h"
#include "Report.h"

#include "../WorkedExample.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>
#include <QMenuBar>
#include <QTableView>
#include <QFrame>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <deque>
#include <functional>
#include <memory>

namespace plotrun::test {

// The main window and its three dialogs, as start-up makes them, shown.
struct Program {
    plotrun::ProgramWindows program;
    TPlotrunner& w = program.window;
    TGOptions& options = program.options;
    TGOutput& output = program.output;
    TAboutBox& about = program.about;

    Program()
    {
        w.resize(800, 640);
        w.show();
        if (!QTest::qWaitForWindowExposed(&w))
            qWarning("the main window was not exposed");
    }

    QAction* action(const char* name) const { return w.findChild<QAction*>(name); }
    template <class T = QLineEdit>
    T* optionsBox(const char* name) const
    {
        return options.findChild<T*>(name);
    }
    template <class T = QLineEdit>
    T* outputBox(const char* name) const
    {
        return output.findChild<T*>(name);
    }
};

// The window's parts, found as a user finds them: by name.
inline QAction* actionOf(const TPlotrunner& w, const char* name) { return w.findChild<QAction*>(name); }
inline QWidget* widgetOf(const TPlotrunner& w, const char* name) { return w.findChild<QWidget*>(name); }
inline PictureView* imageOf(const TPlotrunner& w) { return w.findChild<PictureView*>("Image"); }
// The shapes over the picture: imageOf(w)->shape(Mark::Origin).
using Mark = PictureView::Mark;

// Changes the Scan settings as an accepted OK of the options dialog would:
// the calibration is accepted, and Execute may run on it.
inline void editSettings(TPlotrunner& w, const std::function<void(ScanSettings&)>& edit)
{
    OptionVerdict v;
    v.record = w.scanSettings();
    edit(v.record);
    w.applyOptions(v);
}

// An accepted OK of the Scan settings as they are.
inline void acceptSettings(TPlotrunner& w)
{
    editSettings(w, [](ScanSettings&) {});
}

// Triggers a command as the user would; false when it is missing or disabled.
[[nodiscard]] inline bool trigger(const Program& p, const char* name)
{
    QAction* a = p.action(name);
    if (!a || !a->isEnabled())
        return false;
    a->trigger();
    return true;
}

struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Answers modal windows in the order they open, nested ones included. A
// modal window that nobody expected is recorded and closed.
class ModalAnswers : public QObject {
public:
    ModalAnswers()
    {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start();
    }

    void expect(std::function<void(QWidget*)> handler) { handlers_.push_back(std::move(handler)); }

    // A message box: its title, text and icon are recorded, then OK.
    void expectBox(std::vector<SeenBox>& seen)
    {
        expect([&seen](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box)
                return;
            seen.push_back({box->windowTitle(), box->text(), box->icon()});
            box->button(QMessageBox::Ok)->click();
        });
    }

    bool allAnswered() const { return handlers_.empty(); }
    QStringList unexpected;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Hide)
            std::erase_if(handled_, [watched](const QPointer<QWidget>& w) { return !w || w == watched; });
        return false;
    }

private:
    void poll()
    {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || std::find(handled_.begin(), handled_.end(), w) != handled_.end())
            return;
        handled_.push_back(w);
        w->installEventFilter(this); // a dialog shown again is a new window to answer
        if (handlers_.empty()) {
            unexpected << w->windowTitle();
            if (auto* box = qobject_cast<QMessageBox*>(w))
                unexpected.back() += ": " + box->text();
            if (auto* d = qobject_cast<QDialog*>(w))
                d->done(QDialog::Rejected);
            return;
        }
        // Answered from a timer of its own: a box that the answer opens runs
        // a nested loop, in which this polling timer must go on firing.
        auto handler = std::move(handlers_.front());
        handlers_.pop_front();
        QPointer<QWidget> target(w);
        QTimer::singleShot(0, this, [handler = std::move(handler), target] {
            if (target)
                handler(target);
        });
    }

    QTimer timer_;
    std::deque<std::function<void(QWidget*)>> handlers_;
    std::vector<QPointer<QWidget>> handled_;
};

// Answers the options dialog: `fill` types into it, then OK is clicked.
inline std::function<void(QWidget*)> okOptions(std::function<void(TGOptions&)> fill = {})
{
    return [fill](QWidget* w) {
        auto* d = qobject_cast<TGOptions*>(w);
        if (!d)
            return;
        if (fill)
            fill(*d);
        d->findChild<QPushButton*>("OKBtn")->click();
    };
}

// Triggers a command that shows one message box, answers it with OK and
// gives what it showed; the title names what went wrong when the command
// was missing or disabled, or not one box came.
inline SeenBox boxAfter(const Program& p, const char* command)
{
    std::vector<SeenBox> seen;
    ModalAnswers answers;
    answers.expectBox(seen);
    if (!trigger(p, command))
        return {QString("<%1 is missing or disabled>").arg(command)};
    QTest::qWaitFor([&] { return answers.allAnswered(); }, 5000);
    if (seen.size() != 1)
        return {QString("<%1 boxes>").arg(seen.size())};
    return seen[0];
}

// A 24-bit BMP written to `path`; colourAt(x, row) gives 0x00RRGGBB.
void writeBmp(const QString& path, int width, int height, const std::function<uint32_t(int, int)>& colourAt,
              int bitsPerPixel = 24);

// Resizes the window so that its picture control has iw x ih window pixels.
inline void resizeImageTo(Program& p, int iw, int ih)
{
    const QSize extra = p.w.size() - imageOf(p.w)->size();
    p.w.resize(iw + extra.width(), ih + extra.height());
    QTRY_COMPARE(imageOf(p.w)->size(), QSize(iw, ih));
}

// A new program showing a w x h picture (written into `folder`) in a
// picture control of iw x ih window pixels.
inline std::unique_ptr<Program> programShowing(
    const QString& folder, int w, int h, int iw, int ih,
    const std::function<uint32_t(int, int)>& colourAt = [](int, int) { return 0xFFFFFFu; })
{
    auto p = std::make_unique<Program>();
    const QString path = folder + QString("/p%1x%2.bmp").arg(w).arg(h);
    writeBmp(path, w, h, colourAt);
    p->w.openPicture(path);
    resizeImageTo(*p, iw, ih);
    return p;
}

} // namespace plotrun::test
