#include "app/app_settings.h"

#include <QCryptographicHash>
#include <algorithm>
#include <utility>
#include <vector>

#include "platform/path_text.h"

namespace morrowdeck {

namespace fs = std::filesystem;

namespace {

// Every key, in one place.
namespace key {
const QString lastLibrary = QStringLiteral("lastLibrary");
const QString libraries = QStringLiteral("libraries");
const QString path = QStringLiteral("path");
const QString used = QStringLiteral("used");
const QString destination = QStringLiteral("destination");
const QString unticked = QStringLiteral("untickedCrates");
const QString backups = QStringLiteral("backups");
const QString finished = QStringLiteral("finished");
const QString outcome = QStringLiteral("outcome");
const QString copied = QStringLiteral("copiedFiles");
const QString upToDate = QStringLiteral("upToDateFiles");
const QString failed = QStringLiteral("failedFiles");
const QString missing = QStringLiteral("missingFiles");
const QString crates = QStringLiteral("crates");
const QString duplicateMode = QStringLiteral("options/sharedTracks");
const QString smartCrateMode = QStringLiteral("options/smartCrates");
const QString verifyExisting = QStringLiteral("options/recopyOnlyChanged");
const QString threadCount = QStringLiteral("options/parallelCopies");
const QString keepReplaced = QStringLiteral("options/keepReplaced");
const QString windowNormal = QStringLiteral("window/normalGeometry");
const QString windowMaximized = QStringLiteral("window/maximized");
}  // namespace key

// Destinations remembered per library, each with its last run; the oldest run is forgotten.
constexpr int maxDestinations = 8;

// A path name as group key: a hash, so no separator or odd character of the path reaches the
// file's structure; the path itself is stored inside the group and checked on reading.
QString groupName(const fs::path& path) {
    return QString::fromLatin1(
        QCryptographicHash::hash(QByteArray::fromStdString(platform::toUtf8(path)),
                                 QCryptographicHash::Sha1)
            .toHex()
            .left(16));
}

bool isText(const QVariant& value) {
    return value.typeId() == QMetaType::QString;
}

std::optional<fs::path> absolutePath(const QVariant& value) {
    if (!isText(value)) return std::nullopt;
    const QString text = value.toString();
    if (text.isEmpty() || text.contains(QChar(0)) || text.size() > 4096) return std::nullopt;
    fs::path path = platform::toPath(text.toStdString());
    if (!path.is_absolute()) return std::nullopt;
    return path;
}

std::optional<std::int64_t> integer(const QVariant& value) {
    bool ok = false;
    const qlonglong number = value.toLongLong(&ok);
    if (!ok || !value.isValid()) return std::nullopt;
    return number;
}

std::optional<bool> boolean(const QVariant& value) {
    if (value.typeId() == QMetaType::Bool) return value.toBool();
    if (!isText(value)) return std::nullopt;
    if (value.toString() == QLatin1String("true")) return true;
    if (value.toString() == QLatin1String("false")) return false;
    return std::nullopt;
}

QString text(const fs::path& path) {
    return QString::fromStdString(platform::toUtf8(path));
}

// Of the groups under `parent`, keeps the `keep` with the largest `timeKey` (a time in ms;
// missing counts as oldest) and removes the others.
void keepNewestGroups(QSettings& settings, const QString& parent, const QString& timeKey, int keep) {
    settings.beginGroup(parent);
    const QStringList groups = settings.childGroups();
    if (groups.size() > keep) {
        std::vector<std::pair<std::int64_t, QString>> byTime;
        for (const QString& name : groups)
            byTime.emplace_back(integer(settings.value(name + '/' + timeKey)).value_or(0), name);
        std::sort(byTime.begin(), byTime.end());
        for (std::size_t i = 0; i + static_cast<std::size_t>(keep) < byTime.size(); ++i)
            settings.remove(byTime[i].second);
    }
    settings.endGroup();
}

}  // namespace

AppSettings::AppSettings()
    : settings_(std::make_unique<QSettings>(QStringLiteral("Morrowdeck"), QStringLiteral("Morrowdeck"))) {}

AppSettings::AppSettings(const QString& iniPath)
    : settings_(std::make_unique<QSettings>(iniPath, QSettings::IniFormat)) {}

AppSettings::~AppSettings() = default;

std::optional<fs::path> AppSettings::lastLibrary() const {
    return absolutePath(settings_->value(key::lastLibrary));
}

void AppSettings::setLastLibrary(const fs::path& library) {
    settings_->setValue(key::lastLibrary, text(library));
}

QString AppSettings::libraryGroup(const fs::path& library) const {
    const QString group = key::libraries + '/' + groupName(library);
    // A group whose stored path differs (a collision or a damaged file) is not this library's.
    if (absolutePath(settings_->value(group + '/' + key::path)) != library) return {};
    return group;
}

QString AppSettings::touchLibrary(const fs::path& library) {
    const QString group = key::libraries + '/' + groupName(library);
    settings_->setValue(group + '/' + key::path, text(library));
    settings_->setValue(group + '/' + key::used, QDateTime::currentMSecsSinceEpoch());

    keepNewestGroups(*settings_, key::libraries, key::used, maxLibraries);
    return group;
}

std::optional<fs::path> AppSettings::destination(const fs::path& library) const {
    const QString group = libraryGroup(library);
    if (group.isEmpty()) return std::nullopt;
    return absolutePath(settings_->value(group + '/' + key::destination));
}

void AppSettings::setDestination(const fs::path& library, const fs::path& destination) {
    settings_->setValue(touchLibrary(library) + '/' + key::destination, text(destination));
}

std::optional<QStringList> AppSettings::untickedCrates(const fs::path& library) const {
    const QString group = libraryGroup(library);
    if (group.isEmpty() || !settings_->contains(group + '/' + key::unticked)) return std::nullopt;
    const QVariant value = settings_->value(group + '/' + key::unticked);
    // An empty list is stored as an invalid value and one of one entry reads back as a string.
    if (!value.isValid()) return QStringList();
    if (value.typeId() != QMetaType::QStringList && !isText(value)) return std::nullopt;
    QStringList crates = value.toStringList();
    if (crates.size() > maxListEntries) crates.resize(maxListEntries);
    return crates;
}

void AppSettings::setUntickedCrates(const fs::path& library, const QStringList& crates) {
    settings_->setValue(touchLibrary(library) + '/' + key::unticked, crates);
}

std::optional<BackupRecord> AppSettings::lastBackup(const fs::path& library,
                                                    const fs::path& destination) const {
    const QString libraryKey = libraryGroup(library);
    if (libraryKey.isEmpty()) return std::nullopt;
    const QString group = libraryKey + '/' + key::backups + '/' + groupName(destination) + '/';
    if (absolutePath(settings_->value(group + key::destination)) != destination) return std::nullopt;
    const auto finished = integer(settings_->value(group + key::finished));
    const QVariant outcomeValue = settings_->value(group + key::outcome);
    const auto outcome = isText(outcomeValue) ? BackupRecord::outcomeFromName(outcomeValue.toString())
                                              : std::nullopt;
    if (!finished || !outcome) return std::nullopt;
    BackupRecord record;
    record.destination = destination;
    record.finished = QDateTime::fromMSecsSinceEpoch(*finished, Qt::UTC);
    if (!record.finished.isValid()) return std::nullopt;
    record.outcome = *outcome;
    const auto count = [&](const QString& name) {
        return std::max<std::int64_t>(integer(settings_->value(group + name)).value_or(0), 0);
    };
    record.copiedFiles = count(key::copied);
    record.upToDateFiles = count(key::upToDate);
    record.failedFiles = count(key::failed);
    record.missingFiles = count(key::missing);
    const QVariant crates = settings_->value(group + key::crates);
    if (isText(crates)) record.crates = BackupRecord::cratesFromText(crates.toString(), maxListEntries);
    return record;
}

void AppSettings::setLastBackup(const fs::path& library, const BackupRecord& record) {
    const QString backups = touchLibrary(library) + '/' + key::backups;
    const QString group = backups + '/' + groupName(record.destination) + '/';
    settings_->remove(group.chopped(1));
    settings_->setValue(group + key::destination, text(record.destination));
    settings_->setValue(group + key::finished, record.finished.toMSecsSinceEpoch());
    settings_->setValue(group + key::outcome, BackupRecord::outcomeName(record.outcome));
    settings_->setValue(group + key::copied, qlonglong(record.copiedFiles));
    settings_->setValue(group + key::upToDate, qlonglong(record.upToDateFiles));
    settings_->setValue(group + key::failed, qlonglong(record.failedFiles));
    settings_->setValue(group + key::missing, qlonglong(record.missingFiles));
    settings_->setValue(group + key::crates, record.cratesText());

    // Beyond the cap, the destination backed up onto longest ago is forgotten.
    keepNewestGroups(*settings_, backups, key::finished, maxDestinations);
}

BackupOptions AppSettings::backupOptions() const {
    BackupOptions options;
    const auto raw = [&](const QString& name) {
        const QVariant value = settings_->value(name);
        return isText(value) ? value.toString().toStdString() : std::string();
    };
    if (const auto mode = duplicateModeFromRaw(raw(key::duplicateMode))) options.duplicateMode = *mode;
    if (const auto mode = smartCrateModeFromRaw(raw(key::smartCrateMode))) options.smartCrateMode = *mode;
    if (const auto verify = boolean(settings_->value(key::verifyExisting))) options.verifyExisting = *verify;
    if (const auto threads = integer(settings_->value(key::threadCount)))
        options.threadCount = std::clamp<std::int64_t>(*threads, 1, 32);
    if (const auto keep = integer(settings_->value(key::keepReplaced)))
        options.keepReplaced = std::clamp<std::int64_t>(*keep, 0, 1000);
    return options;
}

void AppSettings::setBackupOptions(const BackupOptions& options) {
    const auto qt = [](std::string_view raw) { return QString::fromUtf8(raw.data(), qsizetype(raw.size())); };
    settings_->setValue(key::duplicateMode, qt(rawValue(options.duplicateMode)));
    settings_->setValue(key::smartCrateMode, qt(rawValue(options.smartCrateMode)));
    settings_->setValue(key::verifyExisting, options.verifyExisting);
    settings_->setValue(key::threadCount, qlonglong(options.threadCount));
    settings_->setValue(key::keepReplaced, qlonglong(options.keepReplaced));
}

std::optional<AppSettings::WindowGeometry> AppSettings::windowGeometry() const {
    const QVariant normal = settings_->value(key::windowNormal);
    if (normal.typeId() != QMetaType::QRect) return std::nullopt;
    WindowGeometry geometry;
    geometry.normal = normal.toRect();
    if (!geometry.normal.isValid()) return std::nullopt;
    geometry.maximized = boolean(settings_->value(key::windowMaximized)).value_or(false);
    return geometry;
}

void AppSettings::setWindowGeometry(const WindowGeometry& geometry) {
    settings_->setValue(key::windowNormal, geometry.normal);
    settings_->setValue(key::windowMaximized, geometry.maximized);
}

}  // namespace morrowdeck
