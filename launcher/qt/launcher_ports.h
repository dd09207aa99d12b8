#pragma once
// The launcher's ports on Linux. The launcher makes its Qt application only
// when it has something to show: a run without splash and without messages
// never connects to the display, so actors start sooner.
#include <QApplication>
#include <memory>
#include <string>

#include "common/qt/qt_support.h"
#include "launcher/launcher.h"

namespace kobal::launcher::qt {

class LazyApplication {
  public:
    explicit LazyApplication(std::string programName) : programName_(std::move(programName)) {}
    ~LazyApplication();
    // Creates the application once. False when there is no display to
    // connect to (Qt would abort then); with exitWithoutDisplay the program
    // says so and ends with the status of every program without a display.
    bool Ensure(bool exitWithoutDisplay = false);
    // Ensure(), unless dialogs are suppressed (they need no display then).
    void EnsureForDialogs();

  private:
    std::string programName_;
    std::string platformOption_ = "-platform";
    std::string platformName_ = "xcb";
    int argc_ = 0;
    char* argv_[4] = {};
    std::unique_ptr<QApplication> app_;
};

class LauncherMessageBoxes : public MessageBoxPort {
  public:
    explicit LauncherMessageBoxes(LazyApplication& app) : app_(app) {}
    void ShowMessage(const std::string& text, const std::string& title) override;
    bool AskOkCancel(const std::string& text, const std::string& title) override;
    bool AskYesNo(const std::string& text, const std::string& title) override;

  private:
    LazyApplication& app_;
    kobal::qt::QtMessageBoxes boxes_;
};

// QProcess::startDetached with the actor file as its one argument, so blanks
// in the install directory or in the name do not split anything. The child
// keeps the launcher's working directory: playlist names relative to it
// still resolve.
class QtProcessStarter : public ProcessStarter {
  public:
    void StartProcess(const std::string& program, const std::string& actorfile) override;
};

class QtSplash : public SplashPort {
  public:
    explicit QtSplash(LazyApplication& app) : app_(app) {}
    void ShowSplash(const SplashContent& content) override;

  private:
    LazyApplication& app_;
};

// The directory of the running program (for the default install path).
std::string ProgramDirectory(const std::string& argv0);

}  // namespace kobal::launcher::qt
