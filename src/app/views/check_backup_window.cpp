#include "app/views/check_backup_window.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/check_backup_model.h"
#include "app/window_sizing.h"
#include "app/views/style.h"
#include "app/views/window_keys.h"

namespace morrowdeck {

CheckBackupWindow::~CheckBackupWindow() { folder_->disconnect(this); }

CheckBackupWindow::CheckBackupWindow(CheckBackupModel& model, QWidget* parent)
    : QDialog(parent),
      model_(model),
      folder_(new QLineEdit(this)),
      pathProblem_(new QLabel(this)),
      choose_(new QPushButton(QStringLiteral("Choose…"), this)),
      check_(new QPushButton(QStringLiteral("Check"), this)),
      progress_(new QProgressBar(this)),
      results_(new QTreeWidget(this)),
      summary_(new QLabel(this)) {
    setWindowTitle(QStringLiteral("Check Backup"));
    closeWithKeys(*this);
    const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    resize(fitWithinScreen({720, 480}, screen ? std::optional(screen->availableGeometry().size()) : std::nullopt));
    folder_->setPlaceholderText(QStringLiteral("Type or choose the backup folder to check"));
    pathProblem_->setWordWrap(true);
    pathProblem_->setTextFormat(Qt::PlainText);
    Style::apply(*pathProblem_, Style::Text::caption, Style::red());
    // Return in the field takes the path; it never presses a button of the window.
    choose_->setAutoDefault(false);
    check_->setAutoDefault(false);
    progress_->setRange(0, 1000);
    results_->setHeaderLabels(
        {QStringLiteral("Problem"), QStringLiteral("File"), QStringLiteral("Detail")});
    results_->setRootIsDecorated(false);
    results_->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    summary_->setWordWrap(true);

    auto* row = new QHBoxLayout;
    row->addWidget(folder_, 1);
    row->addWidget(choose_);
    row->addWidget(check_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(pathProblem_);
    layout->addWidget(progress_);
    layout->addWidget(results_, 1);
    layout->addWidget(summary_);

    connect(choose_, &QPushButton::clicked, &model_, &CheckBackupModel::chooseBackup);
    // Return and leaving the field both end the editing.
    // A taken or blank path shows the folder as the model has it ("~/" spelled out).
    connect(folder_, &QLineEdit::editingFinished, this, [this] {
        model_.enterBackupPath(folder_->text());
        if (model_.pathProblem().isEmpty()) showFolder();
    });
    connect(&model_, &CheckBackupModel::backupPathChanged, this, &CheckBackupWindow::showFolder);
    connect(&model_, &CheckBackupModel::pathProblemChanged, this,
            &CheckBackupWindow::showPathProblem);
    connect(check_, &QPushButton::clicked, this, [this] {
        if (model_.run().isRunning())
            model_.cancel();
        else
            model_.start();
    });
    for (auto signal : {&CheckBackupModel::backupPathChanged, &CheckBackupModel::fractionChanged})
        connect(&model_, signal, this, &CheckBackupWindow::refresh);
    for (auto signal : {&RunModel::isRunningChanged, &RunModel::statusMessageChanged})
        connect(&model_.run(), signal, this, &CheckBackupWindow::refresh);
    connect(&model_, &CheckBackupModel::rowsChanged, this, &CheckBackupWindow::fillResults);
    showFolder();
    showPathProblem();
    refresh();
    fillResults();
}

QString CheckBackupWindow::pathProblemText() const {
    return pathProblem_->isHidden() ? QString() : pathProblem_->text();
}
QString CheckBackupWindow::summaryText() const { return summary_->text(); }

// Only a new folder replaces the field's text, so a mistyped path stays there to correct.
void CheckBackupWindow::showFolder() { folder_->setText(model_.backupPath()); }

void CheckBackupWindow::showPathProblem() {
    pathProblem_->setText(model_.pathProblem());
    pathProblem_->setVisible(!model_.pathProblem().isEmpty());
}

void CheckBackupWindow::refresh() {
    folder_->setReadOnly(model_.run().isRunning());
    choose_->setEnabled(!model_.run().isRunning());
    check_->setText(model_.run().isRunning() ? QStringLiteral("Cancel") : QStringLiteral("Check"));
    check_->setEnabled(model_.run().isRunning() || !model_.backupPath().isEmpty());
    progress_->setValue(static_cast<int>(model_.fraction() * 1000));
    summary_->setText(model_.run().statusMessage());
}

void CheckBackupWindow::fillResults() {
    results_->clear();
    for (const auto& row : model_.rows())
        results_->addTopLevelItem(new QTreeWidgetItem({row.kind, row.path, row.detail}));
}

}  // namespace morrowdeck
