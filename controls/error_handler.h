// The program's general error handler, the one place where a failure that no caller catches
// is shown: an engine error (EZOLVEKEngineError), a database error of the components or any
// other exception becomes an error message box with its text, and the program keeps running.
// TZendoApplication routes every event through it; Guarded wraps the window's slots so that no
// exception leaves a slot into Qt's signal code.
// Thread-safety: UI thread only. The handler is installed for the program's life by the
// application object (or by a test) and removed when it goes.
#pragma once

#include <QApplication>
#include <QString>

#include <concepts>
#include <exception>
#include <utility>

namespace zendo {

// The text that the message box shows for `error` (the message of a database or engine error,
// from the engine's Windows-1254 text).
QString ExceptionText(std::exception_ptr error);
// Shows `error` in an error message box; the silent abort (EAbort) shows nothing. Never throws.
void ReportException(std::exception_ptr error) noexcept;

// Runs `action`; an exception that escapes it is reported instead.
template <class F> void RunGuarded(F&& action) noexcept {
    try {
        std::forward<F>(action)();
    } catch (...) {
        ReportException(std::current_exception());
    }
}

// A slot that runs `action` under RunGuarded. It takes the arguments `action` takes, so that a
// signal with more arguments than the action needs drops the rest, as Qt does for functions.
template <class F> class TGuardedSlot {
public:
    explicit TGuardedSlot(F action)
        : action_(std::move(action)) { }

    template <class... Args>
    requires std::invocable<F&, Args...>
    void operator()(Args&&... args) const {
        RunGuarded([&] { action_(std::forward<Args>(args)...); });
    }

private:
    mutable F action_;
};

template <class F> TGuardedSlot<F> Guarded(F action) {
    return TGuardedSlot<F>(std::move(action));
}

// Makes the dataset layer report the errors it cannot pass on (one raised in a record
// callback) through ReportException, for the object's life.
class TDatasetErrorRouting {
public:
    TDatasetErrorRouting();
    ~TDatasetErrorRouting();
    TDatasetErrorRouting(const TDatasetErrorRouting&) = delete;
    TDatasetErrorRouting& operator=(const TDatasetErrorRouting&) = delete;
};

// The application object: every event's delivery runs under the general error handler.
class TZendoApplication : public QApplication {
    Q_OBJECT

public:
    TZendoApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

private:
    TDatasetErrorRouting routing_;
};

} // namespace zendo
