// The modal prompt a failed transfer shows ("Please enter an integer.").
// Replaceable, so that tests can watch it without a person to press OK.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace dialogkit {

// Shows text modally over parent with a single OK button and returns when
// it is dismissed.
using PromptHandler = std::function<void(QWidget* parent, const QString& text)>;

// Installs a handler; an empty one restores the message box.
void SetPromptHandler(PromptHandler handler);

// Shows the prompt unless one is already open: prompts never stack, however
// many failed transfers (one a second while sampling) meet the same bad text.
// Returns true when this call showed it.
bool ShowPromptOnce(QWidget* parent, const QString& text);

// True while a prompt is open.
bool PromptOpen();

} // namespace dialogkit
