#include "zur_application.h"

TZurApplication::TZurApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TZurApplication::notify(QObject* Receiver, QEvent* Event) {
    try {
        return QApplication::notify(Receiver, Event);
    } catch (const std::exception& e) {
        if (FOnException) FOnException(e);
        return false;
    }
}
