#include "app/views/options_section.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSpinBox>

#include "app/app_model.h"
#include "app/views/style.h"

namespace morrowdeck {

namespace {

QString qt(std::string_view text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

QLabel* explanationLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setWordWrap(true);
    Style::apply(*label, Style::Text::caption, Style::secondary(parent->palette()));
    return label;
}

}  // namespace

OptionsSection::OptionsSection(AppModel& model, QWidget* parent)
    : QGroupBox("Options", parent),
      model_(model),
      duplicate_(new QComboBox(this)),
      duplicateText_(explanationLabel(this)),
      smart_(new QComboBox(this)),
      smartText_(explanationLabel(this)),
      verify_(new QCheckBox("Re-copy only changed files", this)),
      verifyText_(explanationLabel(this)),
      threads_(new QSpinBox(this)),
      threadsText_(explanationLabel(this)) {
    for (const DuplicateMode mode : allDuplicateModes) duplicate_->addItem(qt(morrowdeck::title(mode)));
    for (const SmartCrateMode mode : allSmartCrateModes) smart_->addItem(qt(morrowdeck::title(mode)));
    threads_->setRange(1, 32);
    threads_->setSingleStep(1);
    threads_->setFont(Style::monospaced(Style::Text::body));
    threadsText_->setText("Higher is faster on SSD/NVMe; lower is gentler on a single spinning drive.");

    auto* grid = new QGridLayout(this);
    grid->setColumnStretch(1, 1);
    grid->setVerticalSpacing(4);
    int row = 0;
    const auto addGroup = [&](const QString& label, QWidget* control, QLabel* explanation) {
        if (!label.isEmpty()) grid->addWidget(new QLabel(label, this), row, 0);
        grid->addWidget(control, row++, 1, Qt::AlignLeft);
        grid->addWidget(explanation, row++, 1);
        grid->setRowMinimumHeight(row++, 6);
    };
    addGroup("Shared tracks", duplicate_, duplicateText_);
    addGroup("Smart crates", smart_, smartText_);
    addGroup(QString(), verify_, verifyText_);
    addGroup("Parallel copies", threads_, threadsText_);

    const auto edit = [this](auto change) {
        BackupOptions options = model_.plan().options();
        change(options);
        model_.plan().setOptions(options);
    };
    connect(duplicate_, &QComboBox::currentIndexChanged, this, [edit](int index) {
        edit([index](BackupOptions& o) { o.duplicateMode = allDuplicateModes.at(std::size_t(index)); });
    });
    connect(smart_, &QComboBox::currentIndexChanged, this, [edit](int index) {
        edit([index](BackupOptions& o) { o.smartCrateMode = allSmartCrateModes.at(std::size_t(index)); });
    });
    connect(verify_, &QCheckBox::toggled, this,
            [edit](bool on) { edit([on](BackupOptions& o) { o.verifyExisting = on; }); });
    connect(threads_, &QSpinBox::valueChanged, this,
            [edit](int value) { edit([value](BackupOptions& o) { o.threadCount = value; }); });
    connect(&model.plan(), &PlanModel::optionsChanged, this, &OptionsSection::refresh);
    connect(&model.run(), &RunModel::isRunningChanged, this, &OptionsSection::refresh);
    refresh();
}

QStringList OptionsSection::explanations() const {
    return {duplicateText_->text(), smartText_->text(), verifyText_->text(), threadsText_->text()};
}

void OptionsSection::refresh() {
    const BackupOptions& options = model_.plan().options();
    const QSignalBlocker blockDuplicate(duplicate_), blockSmart(smart_), blockVerify(verify_),
        blockThreads(threads_);
    duplicate_->setCurrentIndex(options.duplicateMode == allDuplicateModes[0] ? 0 : 1);
    smart_->setCurrentIndex(options.smartCrateMode == allSmartCrateModes[0] ? 0 : 1);
    verify_->setChecked(options.verifyExisting);
    threads_->setValue(int(std::clamp<std::int64_t>(options.threadCount, 1, 32)));
    duplicateText_->setText(qt(explanation(options.duplicateMode)));
    smartText_->setText(qt(explanation(options.smartCrateMode)));
    verifyText_->setText(options.verifyExisting
                             ? "On: existing files are re-copied only if size or date differs — fast re-runs."
                             : "Off: files already on the destination are left untouched.");
    setEnabled(!model_.run().isRunning());
}

}  // namespace morrowdeck
