#pragma once

#include "setup/setupview.h"

#include <QObject>
#include <array>

class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QWidget;

// The widgets of one row: code label, caption, field or list, picture.
struct SetupRowWidgets
{
    QLabel *code = nullptr; // none for rows without a code of their own
    QLabel *caption = nullptr;
    QLineEdit *edit = nullptr;
    QComboBox *list = nullptr;
    QLabel *picture = nullptr;
    QWidget *field() const;
};

// The setup view's controls on the monitor window: the group boxes with
// their rows, the firmware panel, the hidden access field and the view's
// buttons. It renders the logic's model and hands the user's events to the
// logic; it decides nothing.
class SetupViewForm : public QObject
{
    Q_OBJECT
public:
    SetupViewForm(QWidget *window, SetupViewLogic &logic);
    // How long a refused write is said.
    static constexpr int NoticeMs = 6000;

    // Brings the widgets to what the model says.
    void render();

    const SetupRowWidgets &row(SetupField f) const { return m_rows[size_t(f)]; }
    QGroupBox *box(SetupBox b) const { return m_boxes[size_t(b)]; }
    QLineEdit *edit(SetupField f) const { return row(f).edit; }
    QComboBox *list(SetupField f) const { return row(f).list; }

    QFrame *OUT2PL = nullptr;
    QLabel *LabelOfs = nullptr;
    QLabel *FWVersion = nullptr;
    QLineEdit *PassEdit = nullptr;
    QLabel *PassLB = nullptr;
    QPushButton *ProgBt = nullptr;
    QPushButton *DrawBt = nullptr;
    QPushButton *SaveBt = nullptr;
    QPushButton *OpenBt = nullptr;
    QPushButton *CompareFileBt = nullptr;
    QPushButton *CompareCtrlBt = nullptr;
    QPushButton *ClearBt1 = nullptr;
    QPushButton *ClearBt2 = nullptr;
    QLabel *UpLoadLabel = nullptr;
    QLabel *Notice = nullptr; // a write the controller refused, for a few seconds
    QProgressBar *UpLoadBar = nullptr;
    QFrame *OpPanel = nullptr;
    QPushButton *LoadBt = nullptr; // "Cancel"
    QPushButton *WriteBt = nullptr;
    QPushButton *WrAllBt = nullptr;

signals:
    void progBtClicked();
    void saveBtClicked();
    void openBtClicked();
    void compareFileBtClicked();
    void compareCtrlBtClicked();
    void loadBtClicked();
    // WriteBt (`all` false) or WrAllBt (`all` true).
    void writeBtClicked(bool all);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createRow(SetupField f, QWidget *parent, int top, int width, int listWidth);
    void renderRow(SetupField f, const SetupControlState &c, const SetupControlState &was,
                   bool all);

    SetupViewLogic &m_logic;
    std::array<SetupRowWidgets, SetupFieldCount> m_rows {};
    std::array<QGroupBox *, SetupBoxCount> m_boxes {};
    SetupViewModel m_shown;
    bool m_renderedOnce = false;
};
