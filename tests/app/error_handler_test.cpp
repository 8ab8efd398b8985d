// The program's general error handler: an engine error, a database error or any other exception
// that leaves an event handler is shown in an error box and the program goes on; a slot wrapped
// by Guarded reports its own; the silent abort shows nothing; an error in a record callback
// reaches the same box through the dataset layer.
#include "controls/error_handler.h"
#include "db/base/errors.h"
#include "db/dataset/dataset_errors.h"
#include "support/gui_support.h"

#include <QTest>
#include <QTimer>

#include <stdexcept>

using namespace zendo;
using zendo::testing::MessageBoxRecorder;

namespace {

// Raises whatever it is told to when it gets a user event.
class Thrower : public QObject {
public:
    std::function<void()> raise;

protected:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::User) {
            raise();
            return true;
        }
        return QObject::event(event);
    }
};

} // namespace

class ErrorHandlerTest : public QObject {
    Q_OBJECT

private slots:
    void eventHandlerErrorsAreShownAndTheLoopGoesOn();
    void guardedSlotsReportTheirErrors();
    void datasetErrorsReachTheSameBox();
};

void ErrorHandlerTest::eventHandlerErrorsAreShownAndTheLoopGoesOn() {
    MessageBoxRecorder boxes;
    Thrower thrower;
    // The engine's text is Windows-1254: "tablo açık" with ç as 0xE7.
    thrower.raise = [] { throw zolvek::EDatabaseError("Table 'datalar' a\xE7\xFDk"); };
    QEvent first(QEvent::User);
    QCoreApplication::sendEvent(&thrower, &first);
    QCOMPARE(boxes.boxes.size(), size_t(1));
    QCOMPARE(boxes.boxes[0].text, QStringLiteral("Table 'datalar' açık"));
    QCOMPARE(boxes.boxes[0].type, TMsgDlgType::mtError);

    // Through the event loop: the program's own failures speak UTF-8.
    thrower.raise = [] { throw std::runtime_error("bozuk dosya ğ"); };
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
    QTRY_COMPARE(boxes.boxes.size(), size_t(2));
    QCOMPARE(boxes.boxes[1].text, QStringLiteral("bozuk dosya ğ"));

    // The silent abort shows nothing, and the loop goes on.
    thrower.raise = [] { throw zolvek::EAbort(); };
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
    bool loop_went_on = false;
    QTimer::singleShot(0, [&] { loop_went_on = true; });
    QTRY_VERIFY(loop_went_on);
    QCOMPARE(boxes.boxes.size(), size_t(2));
}

void ErrorHandlerTest::guardedSlotsReportTheirErrors() {
    MessageBoxRecorder boxes;
    QObject sender;
    int ran = 0;
    QObject::connect(&sender, &QObject::objectNameChanged, &sender, Guarded([&] {
        ++ran;
        throw zolvek::EZOLVEKEngineError(zolvek::ZOLVEK_KEYVIOL, zolvek::TErrorContext {});
    }));
    QObject::connect(&sender, &QObject::objectNameChanged, &sender,
        Guarded([&](const QString& name) { ran += name.size(); }));
    sender.setObjectName(QStringLiteral("abc"));
    QCOMPARE(ran, 4);
    QCOMPARE(boxes.boxes.size(), size_t(1));
    QVERIFY(boxes.boxes[0].text.startsWith(QStringLiteral("ZOLVEK Engine Error # 9729")));
}

void ErrorHandlerTest::datasetErrorsReachTheSameBox() {
    MessageBoxRecorder boxes;
    zolvek::HandleApplicationException(
        std::make_exception_ptr(zolvek::EDatabaseError("Field 'ANAHTAR' not found")));
    zolvek::HandleApplicationException(std::make_exception_ptr(zolvek::EAbort()));
    QCOMPARE(boxes.boxes.size(), size_t(1));
    QCOMPARE(boxes.boxes[0].text, QStringLiteral("Field 'ANAHTAR' not found"));
}

int main(int argc, char** argv) {
    TZendoApplication application(argc, argv);
    ErrorHandlerTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "error_handler_test.moc"
