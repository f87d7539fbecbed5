#pragma once
// Undo and redo of the user's edits: marks placed or moved, the scan area
// drawn, moved or removed, its lock, and an OK of the options or the output
// fields dialog. Each step holds the edit state before and after it; a scan's
// output is no edit and is never undone.

#include "MarkingTool.h"
#include "ScanSettings.h"

#include <QObject>
#include <QUndoStack>

#include <functional>
#include <optional>

class QAction;

namespace plotrun {

// Everything an undo step puts back.
struct EditState {
    ScanSettings settings;
    MarkingTool::State marks;
    bool executable = false; // the way to Execute
    OutputFields fields;
    bool calibrated = false; // the calibration was accepted whole: real values are shown
    bool operator==(const EditState&) const = default;
};

class EditHistory : public QObject {
    Q_OBJECT

public:
    EditHistory(std::function<EditState()> capture, std::function<void(const EditState&)> restore, QObject* parent);

    // Undo and Redo follow the stack: enabled when there is a step to take.
    void attach(QAction* undo, QAction* redo);

    // Before an edit: the state to return to.
    void begin();
    // After it: one step when the state changed.
    void commit(const QString& text);
    // A new picture: no step reaches past it.
    void clear();

    void undo() { stack_.undo(); }
    void redo() { stack_.redo(); }
    const QUndoStack& stack() const { return stack_; }

private:
    std::function<EditState()> capture_;
    std::function<void(const EditState&)> restore_;
    std::optional<EditState> before_;
    QUndoStack stack_;
};

} // namespace plotrun
