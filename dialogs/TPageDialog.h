#pragma once
// Asks which page of a PDF or SVG file becomes the picture, with a thumbnail
// of each page when there are several, and at how many dots per inch it is
// rendered; shows the size in pixels that this gives.

#include "ScanOptions.h"

#include <QDialog>

#include <memory>

namespace Ui {
class TPageDialog;
}

namespace plotrun {
class PageFile;
}

class TPageDialog : public QDialog {
    Q_OBJECT

public:
    TPageDialog(const plotrun::PageFile& file, const QString& fileName, QWidget* parent = nullptr);
    ~TPageDialog() override;

    // The page and resolution chosen; the page counts from 1.
    plotrun::PageChoice choice() const;

private:
    void showSize();

    std::unique_ptr<Ui::TPageDialog> ui_;
    const plotrun::PageFile& file_;
};
