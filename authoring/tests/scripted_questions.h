// The window tests' question service: answers from a queue, every question kept.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "services.h"

struct Asked {
    std::string caption, text;
    TButtons buttons;
    TAnswer defaultAnswer;  // the button the box offered to Enter
};

// A question nobody expected is recorded and refused (Cancel where it can be
// cancelled, else No).
class ScriptedQuestions : public TQuestions {
public:
    std::deque<TAnswer> Answers;
    std::vector<Asked> Log;
    using TQuestions::Ask;
    TAnswer Ask(const std::string& caption, const std::string& text, TButtons buttons, TIcon,
                TAnswer defaultAnswer) override {
        Log.push_back({caption, text, buttons, defaultAnswer});
        if (Answers.empty()) return buttons == TButtons::YesNoCancel ? TAnswer::Cancel : TAnswer::No;
        TAnswer a = Answers.front();
        Answers.pop_front();
        return a;
    }
};
