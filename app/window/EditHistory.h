#pragma once
// Undo and redo of the user's edits: marks placed or moved, the scan area
// drawn, moved or removed, its lock, the Start mark removed, and an OK of
// the options or the output fields dialog. Each step holds the document
// before and after it; a scan's output is no edit and is never undone.

#include "Document.h"

#include <QObject>
#include <QUndoStack>

#include <functional>

class QAction;

namespace plotrun {

class EditHistory : public QObject {
    Q_OBJECT

public:
    // `restore` puts the edits of a step back, in the document and in the
    // views and dialogs that show them.
    EditHistory(const DocumentOwner& document, std::function<void(const Document&)> restore, QObject* parent);
    ~EditHistory() override;

    // The hints of Undo and Redo name the step they take.
    void attach(QAction* undo, QAction* redo);

    // A new picture: no step reaches past it.
    void clear() { stack_.clear(); }

    void undo() { stack_.undo(); }
    void redo() { stack_.redo(); }
    const QUndoStack& stack() const { return stack_; }

private:
    friend class ScopedStep;
    // One step from `before` to the document as it is now, when they differ.
    void push(const Document& before, const QString& text);

    const DocumentOwner& document_;
    std::function<void(const Document&)> restore_;
    QUndoStack stack_;
};

// One edit as one step of undo: the document is taken when it starts, and
// the step is pushed when it ends, however it ends, if the edit changed it.
class ScopedStep {
public:
    ScopedStep(EditHistory& history, QString text);
    ~ScopedStep();
    ScopedStep(const ScopedStep&) = delete;
    ScopedStep& operator=(const ScopedStep&) = delete;

    // For a step whose name is known only once it is done.
    void setText(const QString& text) { text_ = text; }

private:
    EditHistory& history_;
    Document before_;
    QString text_;
};

} // namespace plotrun
