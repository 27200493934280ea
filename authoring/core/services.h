// Services that cross every layer and are injected, so that tests can script them:
// questions and message boxes, letting pending window messages run, and the random
// generator.
#pragma once

#include <cstdint>
#include <random>
#include <string>

enum class TButtons { Ok, YesNo, YesNoCancel };
enum class TIcon { None, Information };
enum class TAnswer { Ok, Yes, No, Cancel };

// Shows a modal box and gives the button the user pressed.
class TQuestions {
public:
    virtual ~TQuestions() = default;
    // defaultAnswer: the button that Enter presses. A question whose Yes loses
    // work names its safe answer here, so that a reflex keeps the work.
    virtual TAnswer Ask(const std::string& caption, const std::string& text, TButtons buttons,
                        TIcon icon, TAnswer defaultAnswer) = 0;
    // A box whose first button is its default: OK, or a Yes that loses nothing.
    TAnswer Ask(const std::string& caption, const std::string& text, TButtons buttons, TIcon icon) {
        return Ask(caption, text, buttons, icon,
                   buttons == TButtons::Ok ? TAnswer::Ok : TAnswer::Yes);
    }
};

// Lets pending window messages run; does nothing where there is no window.
class TMessagePump {
public:
    virtual ~TMessagePump() = default;
    virtual void ProcessMessages() {}
};

// The process-wide pseudo-random generator: reseeded from the clock, then drawn.
class TRandomSource {
public:
    virtual ~TRandomSource() = default;
    virtual void Reseed() = 0;
    // A uniform integer in 0 .. n-1 (0 when n is 0).
    virtual uint32_t Below(uint32_t n) = 0;
};

// The program's generator: a Mersenne twister seeded from the low 32 bits of the
// high-resolution clock.
class TClockRandom : public TRandomSource {
public:
    TClockRandom();
    void Reseed() override;
    uint32_t Below(uint32_t n) override;

private:
    std::mt19937 engine_;
};
