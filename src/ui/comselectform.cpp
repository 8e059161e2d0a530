#include "ui/comselectform.h"

#include "ui/qtdialogs.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TComSelectForm::TComSelectForm(const QStringList &entries, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("ComSelectForm"));
    setWindowTitle(QStringLiteral("Select Port"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    auto *layout = new QVBoxLayout(this);
    auto *line1 = new QLabel(QStringLiteral("The configured serial port is not valid."), this);
    line1->setObjectName(QStringLiteral("Label1"));
    auto *line2 = new QLabel(QStringLiteral("Please choose another port."), this);
    line2->setObjectName(QStringLiteral("Label2"));
    PortsComboBox = new QComboBox(this);
    PortsComboBox->setObjectName(QStringLiteral("PortsComboBox"));
    PortsComboBox->addItems(entries);
    line2->setBuddy(PortsComboBox);

    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKBtn"));
    ok->setDefault(true);
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("CancelBtn"));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addWidget(line1);
    layout->addWidget(line2);
    layout->addWidget(PortsComboBox);
    layout->addLayout(buttons);
    setFixedSize(sizeHint());
}

int QtDialogs::selectPort(const QStringList &entries)
{
    TComSelectForm form(entries);
    if (form.exec() != QDialog::Accepted)
        return -1;
    return form.PortsComboBox->currentIndex();
}
