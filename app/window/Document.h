#pragma once
// The window's document: one value that holds everything the window's
// commands depend on, so that the state of every action follows from it and
// an undo step is a copy of it. Its owner tells of each change with one
// signal.

#include "MarkingTool.h"
#include "ScanOptions.h"
#include "ScanSettings.h"

#include <QObject>
#include <QSize>
#include <QString>

namespace plotrun {

// The last accepted picture.
struct PictureState {
    QSize size{-1, -1};
    bool loaded = false;
    // The last picture offered was refused: the one before stays loaded and
    // is still scanned, but is hidden and takes no new options.
    bool refused = false;
    QString path;      // its file; empty for a pasted picture
    PageChoice page{}; // the page and resolution of a PDF or SVG file
    bool operator==(const PictureState&) const = default;
};

struct Document {
    PictureState picture;
    MarkingTool::State marks; // the exact marks, the scan area and its lock
    // The calibration in effect and the rest of the Scan settings.
    ScanSettings settings;
    // The calibration passed the options checks whole: Execute may run, and
    // real values are shown over the picture.
    bool accepted = false;
    OutputFields fields;
    // The options dialog's boxes that a show keeps as they are, since the
    // scan reads them there: a threshold typed and then cancelled still counts.
    QString thresholdText;
    bool copyToClipboard = false;
    bool hasResult = false; // a scan left output text to save, copy or print

    bool operator==(const Document&) const = default;
};

// The edits of `step` over `now`: an undo step puts back neither the picture
// nor a scan's output.
Document withEditsOf(const Document& now, const Document& step);

class DocumentOwner : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // The value stays at one address, so views may hold references into it.
    const Document& value() const { return value_; }
    // Replaces the value; `changed` follows when it differs.
    void set(const Document& document);
    template <class Edit>
    void change(Edit&& edit)
    {
        Document d = value_;
        edit(d);
        set(d);
    }

signals:
    void changed();

private:
    Document value_;
};

} // namespace plotrun
