#include "prompt.h"

#include <QMessageBox>

namespace dialogkit {

namespace {

PromptHandler& Handler()
{
    static PromptHandler handler;
    return handler;
}

bool g_promptOpen = false;

void ShowMessageBox(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("KORVANTHINE"), text, QMessageBox::Ok, parent);
    box.exec();
    // As after a dialog: the keyboard goes back to the window that asked.
    if (parent != nullptr && parent->isVisible())
        parent->activateWindow();
}

} // namespace

void SetPromptHandler(PromptHandler handler)
{
    Handler() = std::move(handler);
}

bool PromptOpen()
{
    return g_promptOpen;
}

bool ShowPromptOnce(QWidget* parent, const QString& text)
{
    if (g_promptOpen)
        return false;
    g_promptOpen = true;
    if (Handler())
        Handler()(parent, text);
    else
        ShowMessageBox(parent, text);
    g_promptOpen = false;
    return true;
}

} // namespace dialogkit
