#include "app/sprash.h"
#include "app/artwork.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QToolButton>

TSprash::TSprash(QWidget *owner) : QDialog(owner, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName("Sprash");
    setFixedSize(468, 264);
    SpeedButton1 = new QToolButton(this);
    SpeedButton1->setObjectName("SpeedButton1");
    SpeedButton1->setAutoRaise(true);
    SpeedButton1->setGeometry(0, 0, 469, 269);
    SpeedButton1->setIconSize(QSize(469, 269));
    SpeedButton1->setIcon(QIcon(QPixmap::fromImage(artwork::SplashImage())));
    SpeedButton1->setStyleSheet("QToolButton { border: none; padding: 0; margin: 0; }");
    SpeedButton1->setFocusPolicy(Qt::NoFocus);

    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect g = screen->availableGeometry();
        move(g.center() - QPoint(width() / 2, height() / 2));
    }

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setSingleShot(true);
    // A coarse timer may fire 5 % early; the splash stands for its 2000 ms.
    Timer1->setTimerType(Qt::PreciseTimer);
    Timer1->setInterval(2000);
    connect(Timer1, &QTimer::timeout, this, &TSprash::Timer1Timer);
    Timer1->start();
}

void TSprash::Timer1Timer()
{
    close();
}
