#include "EditHistory.h"

#include <QAction>

namespace plotrun {

namespace {

// One edit: the document before and after. The edit is done when it is
// pushed, so the first redo has nothing to do.
class DocumentStep : public QUndoCommand {
public:
    DocumentStep(Document before, Document after, const std::function<void(const Document&)>& restore,
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
    Document before_, after_;
    const std::function<void(const Document&)>& restore_;
    bool done_ = false;
};

} // namespace

EditHistory::EditHistory(const DocumentOwner& document, std::function<void(const Document&)> restore, QObject* parent)
    : QObject(parent), document_(document), restore_(std::move(restore))
{
}

// The stack empties itself as it goes, and tells of it: the window that
// would hear is already half gone.
EditHistory::~EditHistory() { stack_.blockSignals(true); }

void EditHistory::attach(QAction* undo, QAction* redo)
{
    connect(&stack_, &QUndoStack::undoTextChanged, undo,
            [undo](const QString& text) { undo->setStatusTip(text.isEmpty() ? QString("Undo") : "Undo " + text); });
    connect(&stack_, &QUndoStack::redoTextChanged, redo,
            [redo](const QString& text) { redo->setStatusTip(text.isEmpty() ? QString("Redo") : "Redo " + text); });
}

void EditHistory::push(const Document& before, const QString& text)
{
    const Document& after = document_.value();
    // What no step puts back does not make a step either.
    if (withEditsOf(after, before) == after)
        return;
    stack_.push(new DocumentStep(before, after, restore_, text));
}

ScopedStep::ScopedStep(EditHistory& history, QString text)
    : history_(history), before_(history.document_.value()), text_(std::move(text))
{
}

ScopedStep::~ScopedStep()
{
    // A destructor lets nothing escape; a step that cannot be kept is lost.
    try {
        history_.push(before_, text_);
    } catch (...) {
    }
}

} // namespace plotrun
