// The program's side of the injected services: modal message boxes, letting
// pending window messages run, and the application whose event dispatch drops
// unhandled errors without a word.
#pragma once

#include <QApplication>
#include <QTranslator>
#include <string>

#include "services.h"

class QFileDialog;

class TMessageBoxQuestions : public TQuestions {
public:
    using TQuestions::Ask;
    TAnswer Ask(const std::string& caption, const std::string& text, TButtons buttons, TIcon icon,
                TAnswer defaultAnswer) override;
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

// The toolkit's own words (standard buttons, the file, colour and font dialogs)
// and formats (the file dialog's dates) in Chinese, whatever locale the desktop
// has, since the whole interface is Chinese; and file dialogs opened at a size
// that shows their columns. Made after the application, kept for its life.
class TChineseToolkit : public QObject {
public:
    TChineseToolkit();
    ~TChineseToolkit() override;

    // Before the application is made: the desktop's locale names Chinese for
    // dates and numbers, which the toolkit's file dialog takes from there, where
    // the system has the Chinese locale.
    static void UseChineseFormats();
    // The smallest size a file dialog opens at (within the screen).
    static QSize FileDialogSize();
    // Gives a file dialog that size and columns wide enough for their texts.
    static void FitFileDialog(QFileDialog* dialog);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The few words the toolkit's catalogue lacks (the file dialog's kinds).
    class TMissingWords : public QTranslator {
    public:
        bool isEmpty() const override { return false; }
        QString translate(const char* context, const char* sourceText, const char* disambiguation,
                          int n) const override;
    };
    QTranslator FToolkitWords;
    TMissingWords FMissingWords;
};
