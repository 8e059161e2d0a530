#pragma once

#include "setup/setupcompare.h"

#include <QWidget>

class QLabel;
class QPushButton;
class QTableWidget;

// "Compare": the differences between two setups (or a verification after
// write-all), which the user can copy as text or save as CSV.
class CompareForm : public QWidget
{
    Q_OBJECT
public:
    explicit CompareForm(QWidget *owner);

    // Shows `report`, replacing what was shown, and brings the window forward.
    void showReport(const CompareReport &report);
    const CompareReport &report() const { return m_report; }

    void CopyBtClick();
    void CsvBtClick();

    QLabel *TitleLB = nullptr;
    QLabel *SummaryLB = nullptr;
    QTableWidget *DiffGrid = nullptr;
    QPushButton *CopyBt = nullptr;
    QPushButton *CsvBt = nullptr;
    QPushButton *CloseBt = nullptr;

private:
    CompareReport m_report;
};
