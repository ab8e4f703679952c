#include "ui/choosers.h"

#include <QDialog>
#include <QFileDialog>
#include <QString>

namespace varnel {

std::string QtChoosers::ChooseFolder(QWidget* owner, const std::string& startFolder,
                                     const std::string& title) {
    return QFileDialog::getExistingDirectory(owner, QString::fromStdString(title),
                                             QString::fromStdString(startFolder))
        .toStdString();
}

std::string QtChoosers::ChooseFile(QWidget* owner, const std::string& startPath,
                                   const std::string& title, const std::string& filter) {
    return QFileDialog::getOpenFileName(owner, QString::fromStdString(title),
                                        QString::fromStdString(startPath),
                                        QString::fromStdString(filter))
        .toStdString();
}

int QtChoosers::RunModal(QDialog& dialog) {
    return dialog.exec();
}

}  // namespace varnel
