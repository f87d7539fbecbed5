#include "EditHistory.h"

#include <QAction>

namespace plotrun {

namespace {

// One edit: the state before and after. The edit is done when it is pushed,
// so the first redo has nothing to do.
class EditStep : public QUndoCommand {
public:
    EditStep(EditState before, EditState after, const std::function<void(const EditState&)>& restore,
             const QString& text)
        : QUndoCommand(text), before_(std::move(before)), after_(std::move(after)), restore_(restore)
    {
    }

    void undo() override { restore_(before_); }
    void redo() override
    {
        if (done_)
            restore_(after_);
        done_ = true;
    }

private:
    EditState before_, after_;
    const std::function<void(const EditState&)>& restore_;
    bool done_ = false;
};

} // namespace

EditHistory::EditHistory(std::function<EditState()> capture, std::function<void(const EditState&)> restore,
                         QObject* parent)
    : QObject(parent), capture_(std::move(capture)), restore_(std::move(restore))
{
}

void EditHistory::attach(QAction* undo, QAction* redo)
{
    undo->setEnabled(stack_.canUndo());
    redo->setEnabled(stack_.canRedo());
    connect(&stack_, &QUndoStack::canUndoChanged, undo, &QAction::setEnabled);
    connect(&stack_, &QUndoStack::canRedoChanged, redo, &QAction::setEnabled);
    connect(&stack_, &QUndoStack::undoTextChanged, undo,
            [undo](const QString& text) { undo->setStatusTip(text.isEmpty() ? QString("Undo") : "Undo " + text); });
    connect(&stack_, &QUndoStack::redoTextChanged, redo,
            [redo](const QString& text) { redo->setStatusTip(text.isEmpty() ? QString("Redo") : "Redo " + text); });
}

void EditHistory::begin() { before_ = capture_(); }

void EditHistory::commit(const QString& text)
{
    if (!before_)
        return;
    EditState after = capture_();
    EditState before = std::move(*before_);
    before_.reset();
    if (after == before)
        return;
    stack_.push(new EditStep(std::move(before), std::move(after), restore_, text));
}

void EditHistory::clear()
{
    before_.reset();
    stack_.clear();
}

} // namespace plotrun
