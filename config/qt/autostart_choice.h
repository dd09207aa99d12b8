#pragma once
// "Start these actors when I log in": the configuration window's check box,
// which only edits the window's login choice ("OK" saves it with the other
// settings), and the desktop's autostart entry that "OK" writes.
#include <QCheckBox>
#include <QString>
#include <functional>

#include "config/config_window.h"
#include "config/shell/autostart.h"

namespace kobal::config::qt {

class LoginCheckBox : public QCheckBox {
  public:
    // Asks for the actor file or playlist; an empty name when cancelled.
    using Chooser = std::function<QString(QWidget* window)>;
    static QString AskForFile(QWidget* window);

    LoginCheckBox(QWidget* holder, LoginChoice& choice, Chooser choose = AskForFile);
    // The box from the choice.
    void Show();

  protected:
    void nextCheckState() override;

  private:
    LoginChoice& choice_;
    Chooser choose_;
};

// The autostart entry in $XDG_CONFIG_HOME/autostart.
class AutostartEntry : public LoginEntry {
  public:
    AutostartEntry(shell::EntryFiles& files, MessageBoxPort& boxes, std::string configHome);
    std::optional<std::string> Current() override;
    bool Choose(const std::string& file, const std::string& installdir) override;
    bool Remove() override;

  private:
    shell::Autostart With(const std::string& installdir);
    shell::EntryFiles& files_;
    MessageBoxPort& boxes_;
    std::string configHome_;
};

}  // namespace kobal::config::qt
