#pragma once

#include <QWidget>

// "ABOUT": the program's name and version over a black background.
class AboutForm : public QWidget
{
    Q_OBJECT
public:
    explicit AboutForm(QWidget *owner);
    void showCentred();

protected:
    // Escape closes the window.
    void keyPressEvent(QKeyEvent *event) override;
};
