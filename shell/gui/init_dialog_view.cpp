#include "shell/gui/init_dialog_view.h"

#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace orv::gui {

InitDialogView::InitDialogView(QWidget* parent) : QDialog(parent, Qt::Tool) {
    setWindowTitle(QString::fromUtf8(kInitDialogTitle.data(),
                                     static_cast<qsizetype>(kInitDialogTitle.size())));
    setAttribute(Qt::WA_ShowWithoutActivating);
    auto* layout = new QVBoxLayout(this);
    for (QLabel*& l : lines_) {
        l = new QLabel(this);
        layout->addWidget(l);
    }
    pids_ = new QListWidget(this);
    pids_->setMaximumHeight(120);
    layout->addWidget(pids_);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, 99);
    layout->addWidget(bar_);
    stop_ = new QPushButton(QString::fromUtf8(kInitDialogStopButton.data(),
                                              static_cast<qsizetype>(kInitDialogStopButton.size())),
                            this);
    layout->addWidget(stop_, 0, Qt::AlignRight);
    connect(stop_, &QPushButton::clicked, this, &InitDialogView::stopRequested);
    setMinimumWidth(360);
}

void InitDialogView::show(const InitDialog& model) {
    if (!model.open) {
        hide();
        return;
    }
    for (std::size_t i = 0; i < lines_.size(); ++i)
        lines_[i]->setText(QString::fromStdString(model.lines[i]));
    // PIDs only ever join the list while the dialog is open.
    if (static_cast<std::size_t>(pids_->count()) > model.pids.size()) pids_->clear();
    for (std::size_t i = static_cast<std::size_t>(pids_->count()); i < model.pids.size(); ++i)
        pids_->addItem(QString::fromStdString(model.pids[i]));
    bar_->setValue(model.progress);
    if (!isVisible()) QDialog::show();
}

}  // namespace orv::gui
