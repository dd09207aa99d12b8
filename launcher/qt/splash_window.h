#pragma once
// The splash window: frameless and black, 6000 x 3000 twips, centred, out of
// the task bar, its background shaped by pure green. It shows the actor's
// picture and name and unloads itself on its timer's first tick.
#include <QDialog>
#include <QLabel>
#include <QPixmap>
#include <QTimer>

#include "common/qt/key_color_shaper.h"
#include "launcher/launcher.h"

namespace kobal::launcher::qt {

class SplashWindow : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kPureGreen = 255 * 256;
    static constexpr int kShowMilliseconds = 3000;

    SplashWindow();

    // Form_Load: texts and pictures. Raises RuntimeError for a picture that
    // cannot be loaded, before anything is shown.
    void Load(const SplashContent& content);

    // notice, actorPicture, versionLabel and closeTimer were Label3, Image1, Label1 and Timer1.
    QLabel& msg() { return msg_; }
    QLabel& notice() { return notice_; }
    QLabel& actorPicture() { return actorPicture_; }
    QLabel& versionLabel() { return versionLabel_; }
    QTimer& closeTimer() { return closeTimer_; }
    const QPixmap& background() const { return background_; }

  public slots:
    // The timer's first tick unloads the window (formerly Timer1_Timer).
    void TimeUp();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void Place(QWidget& control, int left, int top, int width, int height);
    void FitMessage();
    QRect Twips(int left, int top, int width, int height) const;

    kobal::qt::KeyColorShaper shaper_{this};
    QTimer closeTimer_;
    QLabel msg_{this};
    QLabel notice_{this};
    QLabel actorPicture_{this};
    QLabel versionLabel_{this};
    QPixmap background_;
};

}  // namespace kobal::launcher::qt
