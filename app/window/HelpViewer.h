#pragma once
// Stands in for a help viewer: finds the help file, and shows a topic of it
// in a help window. The help ships as an HTML document beside the program.

#include <QPointer>
#include <QString>

#include <QTextBrowser>

namespace plotrun {

inline constexpr const char* kHelpFileName = "Plotrun Help.hlp";
inline constexpr const char* kHelpContentsTopic = "PlotrunContents";

// The help directory from the system-wide settings (organisation "Orvik",
// application "Plotrun 1.1", value "HelpDir"); empty when there is none.
// Throws when the value is there but not text.
QString readHelpDir();

// The directory glued to the file name as it is: the directory must end with
// a path separator.
QString helpFileByRule(const QString& helpDir);

class HelpViewer {
public:
    // The document that stands for a help file, or empty when none is found.
    // A bare name is looked for beside the program, then in the current
    // folder; "x.hlp" is found as "x.hlp" or "x.html".
    static QString findDocument(const QString& helpFile);

    // Shows the topic, or a message when the help file cannot be found.
    void showTopic(const QString& helpFile, const QString& topic);

    QTextBrowser* window() const { return window_; }

private:
    QPointer<QTextBrowser> window_;
};

} // namespace plotrun
