// The one error box of the program: the text of an error that a handler
// does not handle itself, ended as a sentence.
#include "StandardErrorBox.h"

#include <QTest>

using namespace plotrun;

class StandardErrorBoxTest : public QObject {
    Q_OBJECT

private slots:
    void theStandardErrorBoxAddsAFullStop()
    {
        QCOMPARE(standardErrorText("abc"), QString("abc."));
        QCOMPARE(standardErrorText("abc."), QString("abc."));
        QCOMPARE(standardErrorText("abc!"), QString("abc!"));
        QCOMPARE(standardErrorText("(x)"), QString("(x)"));
        QCOMPARE(standardErrorText("value 5"), QString("value 5."));
        QCOMPARE(standardErrorText(""), QString(""));
    }
};

QTEST_MAIN(StandardErrorBoxTest)
#include "StandardErrorBoxTest.moc"
