#pragma once

#include <string>

namespace varnel {

//! Message box styles, as the callers pass them.
inline constexpr int kStylePlain = 0;
inline constexpr int kStyleCritical = 16;
inline constexpr int kStyleQuestion = 32;
inline constexpr int kStyleExclamation = 48;
inline constexpr int kStyleInformation = 64;

//! Message boxes and Yes/No questions. The core never opens a window itself: a
//! desktop session installs a prompter with real message boxes, an unattended run
//! one that answers every question No, and tests a scripted one.
class Prompter {
  public:
    virtual ~Prompter() = default;
    //! Shows a message with a style (16 critical, 64 information) and a title.
    virtual void ShowMessage(const std::string& text, int style, const std::string& title) = 0;
    //! Asks a Yes/No question; True for Yes.
    virtual bool AskYesNo(const std::string& text, const std::string& title) = 0;
};

//! The prompter of an unattended run: questions are answered No (nobody is there
//! to answer), messages go to standard error.
class ConsolePrompter final : public Prompter {
  public:
    void ShowMessage(const std::string& text, int style, const std::string& title) override;
    bool AskYesNo(const std::string& text, const std::string& title) override;
};

}  // namespace varnel
