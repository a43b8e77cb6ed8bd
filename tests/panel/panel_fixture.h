// A live panel window (offscreen) for tests, with the prompt captured.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <functional>
#include <QStringList>
#include <gtest/gtest.h>
#include <memory>

#include "control_panel_dlg.h"
#include "dialog_window.h"

class QComboBox;
class QLineEdit;
class QAbstractButton;

// Records every prompt instead of showing it; tests may react inside it.
class PromptRecorder {
public:
    PromptRecorder();
    ~PromptRecorder();
    QStringList texts;
    std::function<void()> whileOpen; // runs inside the prompt, if set
};

class PanelTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    dialogkit::DialogWindow* Window() const;
    QLineEdit* Edit(int id) const;
    QComboBox* Combo(int id) const;
    QAbstractButton* Button(int id) const;
    // The control at template position index (0-based).
    QWidget* ControlAt(int index) const;
    bool Checked(int id) const;

    std::unique_ptr<CControlPanelDlg> dlg;
    std::unique_ptr<PromptRecorder> prompts;
};

// Delivers posted events (and due timers) for a while.
void PumpEvents(int milliseconds);

// Hands the first modal window (or popup menu) that opens while the watch
// lives to act, which should close it. One still open after timeoutMs is
// closed by the watch and the test fails, so that no test hangs in a modal
// loop.
class ModalWatch {
public:
    enum Kind { Modal, Popup };
    ModalWatch(Kind kind, std::function<void(QWidget*)> act, int timeoutMs = 5000);
    ~ModalWatch();
    ModalWatch(const ModalWatch&) = delete;
    ModalWatch& operator=(const ModalWatch&) = delete;

    bool Seen() const { return seen_; }

private:
    void Poll();

    Kind kind_;
    std::function<void(QWidget*)> act_;
    int timeoutMs_;
    QTimer timer_;
    QElapsedTimer clock_;
    bool seen_ = false;
};
