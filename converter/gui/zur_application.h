// The converter's application object: an error that no code of the window
// handles is handed to the installed handler (which drops it) instead of ending
// the program.
#pragma once

#include <QApplication>
#include <exception>
#include <functional>

class TZurApplication : public QApplication {
    Q_OBJECT
public:
    using TExceptionEvent = std::function<void(const std::exception&)>;

    TZurApplication(int& argc, char** argv);
    void SetOnException(TExceptionEvent Value) { FOnException = std::move(Value); }
    bool notify(QObject* Receiver, QEvent* Event) override;

private:
    TExceptionEvent FOnException;
};
