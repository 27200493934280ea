// What the reader needs of the editing window: clear the message, make a new page,
// show the subject and ask questions. The main window implements it; tests fake it.
#pragma once

#include <string>

#include "services.h"

class TPageModel;

class TMessageEditor {
public:
    virtual ~TMessageEditor() = default;
    // Frees every page and starts an empty message ("新建彩信").
    virtual void NewMessage() = 0;
    // Makes a new page after the current one, selects it and gives it.
    virtual TPageModel* NewPage() = 0;
    // Shows the subject line with this text (UTF-8, "主题:" and the subject) and
    // makes it visible; an empty text hides the line.
    virtual void ShowSubject(const std::string& text) = 0;
    virtual TQuestions& Questions() = 0;
    virtual TMessagePump& Pump() = 0;
};
