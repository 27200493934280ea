// The program's side of the injected services: modal message boxes, letting
// pending window messages run, and the application whose event dispatch drops
// unhandled errors without a word.
#pragma once

#include <QApplication>
#include <string>

#include "services.h"

class TMessageBoxQuestions : public TQuestions {
public:
    TAnswer Ask(const std::string& caption, const std::string& text, TButtons buttons,
                TIcon icon) override;
};

class TEventPump : public TMessagePump {
public:
    void ProcessMessages() override;
};

// Every error that reaches the event loop ends the event that raised it, silently:
// what the handler did before the error stays done, and the user sees only the
// boxes the program shows itself.
class TQuilmarApplication : public QApplication {
public:
    TQuilmarApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
    // The error's text arrives here and goes no further.
    static void IgnoreException(const std::string& message);
};
