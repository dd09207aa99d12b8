#pragma once
// The configuration window kobalconfigf: shows the controls of a
// ConfigWindow, passes the button clicks to its handlers, and closes when a
// handler ends the tool. Return presses "OK", Escape and closing the window
// act as "Cancel".
#include <QCheckBox>
#include <QWidget>
#include <functional>

#include "config/config_window.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace kobal::config::qt {

// A check box the user only checks and unchecks; the greyed state comes
// from a settings file alone.
class ClickCheckBox : public QCheckBox {
  public:
    using QCheckBox::QCheckBox;

  protected:
    void nextCheckState() override;
};

class LoginCheckBox;

class ConfigForm : public QWidget {
  public:
    using FileChooser = std::function<QString(QWidget*)>;
    // chooseLoginFile asks for the file of the login choice (a file dialog
    // unless given).
    explicit ConfigForm(ConfigWindow& model, QWidget* parent = nullptr, FileChooser chooseLoginFile = {});

    // Controls from the model, and the model from the controls.
    void Show();
    void Push();
    void Pull();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    // Runs a handler on the current entries; a run-time error ends the tool
    // with its message, as every error in this window does.
    void Run(void (ConfigWindow::*handler)());

    ConfigWindow& model_;
    QLineEdit* apath_;
    QComboBox* initial_;
    ClickCheckBox* audio_;
    ClickCheckBox* splash_;
    ClickCheckBox* transp_;
    ClickCheckBox* override_;
    ClickCheckBox* hidefull_;
    ClickCheckBox* winfloors_;
    QLineEdit* timerup_;
    QLineEdit* moveup_;
    QLineEdit* boreds_;
    QLineEdit* sleeps_;
    QLineEdit* hyber_;
    LoginCheckBox* login_;
    QPushButton* ok_;
    QPushButton* cancel_;
    bool leaving_ = false;  // the tool ends: the window closes without asking
};

}  // namespace kobal::config::qt
