#pragma once
// The Install window: black, fixed size, its controls placed in twips and
// grown where a caption needs more room. Return presses "Install", Escape
// closes the window.
#include <QWidget>

#include "installer/install_form.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace kobal::installer::qt {

class InstallWindow : public QWidget, public InstallView {
  public:
    InstallWindow();

    std::string Source() override;
    void SetSource(const std::string& text) override;
    std::string Dest() override;
    void SetDest(const std::string& text) override;
    void SetSplashText(const std::string& text) override;
    void SetMsg(const std::string& text) override;
    void LoadSplashPic(const std::string& path) override;
    void LoadSplashTitle(const std::string& path) override;

    QPushButton* installButton() const { return installButton_; }
    QLineEdit* source() const { return source_; }
    QLineEdit* dest() const { return dest_; }
    QLabel* msg() const { return msg_; }
    QLabel* splashText() const { return splashText_; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    // Places the controls as designed, grows them to their captions, and
    // centres the window at its new size.
    void Layout();

    QLabel* splashTitle_;
    QLabel* splashPic_;
    QLabel* splashText_;
    QLineEdit* source_;
    QLineEdit* dest_;
    QPushButton* installButton_;  // formerly Command1
    QLabel* msg_;
    QLabel* sourceLabel_;  // formerly label1 and Label2
    QLabel* destLabel_;
};

}  // namespace kobal::installer::qt
