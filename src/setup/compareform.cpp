#include "setup/compareform.h"

#include "ui/dialogs.h"
#include "ui/files.h"
#include "ui/screenscale.h"
#include "ui/windowplacement.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

CompareForm::CompareForm(QWidget *owner)
    : QWidget(owner, Qt::Window)
{
    setObjectName(QStringLiteral("CompareForm"));
    setWindowTitle(QStringLiteral("Compare"));
    SetScaledFont(this, 12);
    auto *layout = new QVBoxLayout(this);
    TitleLB = new QLabel(this);
    TitleLB->setObjectName(QStringLiteral("TitleLB"));
    TitleLB->setWordWrap(true);
    layout->addWidget(TitleLB);
    SummaryLB = new QLabel(this);
    SummaryLB->setObjectName(QStringLiteral("SummaryLB"));
    SetScaledFont(SummaryLB, 13, true);
    layout->addWidget(SummaryLB);
    DiffGrid = new QTableWidget(this);
    DiffGrid->setObjectName(QStringLiteral("DiffGrid"));
    DiffGrid->verticalHeader()->hide();
    DiffGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DiffGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    layout->addWidget(DiffGrid, 1);
    auto *buttons = new QHBoxLayout;
    auto button = [this, buttons](const char *name, const char *text) {
        auto *b = new QPushButton(QString::fromUtf8(text), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        buttons->addWidget(b);
        return b;
    };
    CopyBt = button("CopyBt", "Copy");
    CsvBt = button("CsvBt", "Save CSV\u2026");
    buttons->addStretch(1);
    CloseBt = button("CloseBt", "Close");
    layout->addLayout(buttons);
    connect(CopyBt, &QPushButton::clicked, this, &CompareForm::CopyBtClick);
    connect(CsvBt, &QPushButton::clicked, this, &CompareForm::CsvBtClick);
    connect(CloseBt, &QPushButton::clicked, this, &QWidget::close);
    resize(Scaled(640), Scaled(420));
}

void CompareForm::showReport(const CompareReport &report)
{
    m_report = report;
    TitleLB->setText(report.title);
    SummaryLB->setText(report.summary);
    DiffGrid->clear();
    DiffGrid->setColumnCount(int(report.headers.size()));
    DiffGrid->setHorizontalHeaderLabels(report.headers);
    DiffGrid->setRowCount(int(report.rows.size()));
    for (int r = 0; r < report.rows.size(); ++r)
        for (int c = 0; c < report.rows.at(r).size() && c < report.headers.size(); ++c)
            DiffGrid->setItem(r, c, new QTableWidgetItem(report.rows.at(r).at(c)));
    DiffGrid->resizeColumnsToContents();
    DiffGrid->setVisible(!report.rows.isEmpty());
    CopyBt->setEnabled(true);
    CsvBt->setEnabled(!report.rows.isEmpty());
    ShowCentredOnOwner(this);
    raise();
}

void CompareForm::CopyBtClick()
{
    QGuiApplication::clipboard()->setText(SetupCompare::ToText(m_report));
}

void CompareForm::CsvBtClick()
{
    const QString path = ChooseFileToWrite(
        QStringLiteral("Save CSV"), QStringLiteral("CSV files (*.csv)"), QStringLiteral("csv"));
    if (path.isEmpty())
        return;
    const QString reason = WriteFileWhole(path, SetupCompare::ToCsv(m_report).toUtf8());
    if (!reason.isEmpty())
        AppDialogs().inform(QStringLiteral("Message"),
                            QStringLiteral("Can not write file %1 : %2").arg(path, reason));
}
