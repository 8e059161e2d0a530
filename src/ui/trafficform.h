#pragma once

#include <QWidget>

class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTimer;

// "Traffic": the program's traffic log, every frame the talking windows send
// and receive with its decoding, newest last. It follows the log while shown
// and not paused; the address filter and saving work on the entries kept.
class TrafficForm : public QWidget
{
    Q_OBJECT
public:
    explicit TrafficForm(QWidget *owner);

    // The one traffic window, shown over `from`'s window (created on first use).
    static TrafficForm *showFor(QWidget *from);

    // Shows the entries added since the last look.
    void refresh();
    void SaveBtClick();
    void ClearBtClick();

    QPushButton *PauseBt = nullptr;
    QSpinBox *AddrFilter = nullptr; // -1: all addresses
    QPushButton *ClearBt = nullptr;
    QPushButton *SaveBt = nullptr;
    QPushButton *CloseBt = nullptr;
    QPlainTextEdit *LogView = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void rebuild();

    QTimer *m_timer = nullptr;
    qint64 m_shown = 0; // the serial of the last entry looked at
};

// A "Traffic…" button for a talking window: opens the traffic window.
QPushButton *MakeTrafficButton(QWidget *parent);
