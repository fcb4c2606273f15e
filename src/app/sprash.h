#pragma once
#include <QDialog>

class QTimer;
class QToolButton;

// The splash window: the title picture alone on the screen, closed by its
// timer 2000 ms after it was created.
class TSprash : public QDialog
{
    Q_OBJECT
public:
    explicit TSprash(QWidget *owner);
    void Timer1Timer();

    QToolButton *SpeedButton1;
    QTimer *Timer1;
};
