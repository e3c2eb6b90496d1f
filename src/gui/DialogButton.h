#pragma once

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QString>
#include <QStringList>

#include <functional>

namespace gui {

// A dialog's button, named after its control. Enter presses only the dialog's default button,
// not whichever button last had the focus.
inline QPushButton* dialogButton(const QString& objectName, const QString& text,
                                 const QString& toolTip = {}) {
    auto* b = new QPushButton(text);
    b->setObjectName(objectName);
    b->setToolTip(toolTip);
    b->setAutoDefault(false);
    return b;
}

// The button row of a dialog that keeps settings: Export and Import on the left, OK (the default)
// and Cancel, which closes the dialog, on the right. texts: OK, Cancel, Export, Import.
inline QHBoxLayout* settingsButtonRow(QDialog* dialog, const QStringList& texts,
                                      const std::function<void()>& ok,
                                      const std::function<void()>& exportSettings,
                                      const std::function<void()>& importSettings) {
    QPushButton* okButton = dialogButton(QStringLiteral("OKButton"), texts.value(0));
    QPushButton* cancel = dialogButton(QStringLiteral("CancelButton"), texts.value(1));
    QPushButton* exp = dialogButton(QStringLiteral("cmdExport"), texts.value(2));
    QPushButton* imp = dialogButton(QStringLiteral("cmdImport"), texts.value(3));
    okButton->setDefault(true);
    QObject::connect(okButton, &QPushButton::clicked, dialog, ok);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::close);
    QObject::connect(exp, &QPushButton::clicked, dialog, exportSettings);
    QObject::connect(imp, &QPushButton::clicked, dialog, importSettings);
    auto* row = new QHBoxLayout;
    row->addWidget(exp);
    row->addWidget(imp);
    row->addStretch(1);
    row->addWidget(okButton);
    row->addWidget(cancel);
    return row;
}

} // namespace gui
