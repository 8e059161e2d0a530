#pragma once

#include <QDialog>

class QComboBox;

// "Select Port": asks for a port when the configured one is not valid.
class TComSelectForm : public QDialog
{
    Q_OBJECT
public:
    explicit TComSelectForm(const QStringList &entries, QWidget *parent = nullptr);

    QComboBox *PortsComboBox = nullptr;
};
