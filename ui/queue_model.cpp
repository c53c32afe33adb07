// CQueueModel: the queue's rows as eight columns of texts and the state icon.
#include <QStringDecoder>

#include "tasks/download_queue.h"
#include "ui/image_list.h"
#include "ui/queue_bar.h"

namespace vexlo::ui {
namespace {

const char* const kTitles[CQueueModel::kColumns] = {
    "Task ID", "Progress", "Size", "Task", "Chan", "Subject Header", "Newsgroup", "Save-To"};

// Subjects come off the news server as bytes: UTF-8 when they are, else Latin-1.
QString BytesText(const std::string& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return utf8.hasError() ? QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()))
                           : text;
}

Qt::Alignment ColumnAlignment(int column) {
    return column == CQueueModel::kTask ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter;
}

}  // namespace

CQueueModel::CQueueModel(CDownloadQueue& queue, QObject* parent)
    : QAbstractTableModel(parent), queue_(queue) {
    queue_.SetListener([this](const QueueChange& change) { OnQueueChange(change); });
}

CQueueModel::~CQueueModel() {
    queue_.SetListener({});
}

void CQueueModel::OnQueueChange(const QueueChange& change) {
    const int row = static_cast<int>(change.index);
    switch (change.kind) {
        case QueueChange::kAboutToInsert:
            changing_ = true;
            beginInsertRows({}, row, row);
            break;
        case QueueChange::kInserted:
            endInsertRows();
            changing_ = false;
            break;
        case QueueChange::kAboutToRemove:
            changing_ = true;
            beginRemoveRows({}, row, row);
            break;
        case QueueChange::kRemoved:
            endRemoveRows();
            changing_ = false;
            break;
        case QueueChange::kAboutToReset:
            changing_ = true;
            beginResetModel();
            break;
        case QueueChange::kReset:
            endResetModel();
            changing_ = false;
            emit queueSelectionChanged(-1);
            break;
        case QueueChange::kChanged:
            emit dataChanged(index(row, 0), index(row, kColumns - 1));
            emit queueSelectionChanged(row);
            break;
        case QueueChange::kSelected:
            emit queueSelectionChanged(row);
            break;
    }
}

int CQueueModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(queue_.Count());
}

int CQueueModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

const QIcon& CQueueModel::Icon(int image) const {
    if (!iconsLoaded_) {
        for (int i = 0; i < static_cast<int>(icons_.size()); ++i) icons_[i] = ListIcon(i);
        iconsLoaded_ = true;
    }
    return icons_[static_cast<size_t>(image)];
}

QVariant CQueueModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<size_t>(index.row()) >= queue_.Count()) return {};
    const QueueRow& row = queue_.Row(static_cast<size_t>(index.row()));
    const CTask& task = *row.task;
    if (role == Qt::TextAlignmentRole) return static_cast<int>(ColumnAlignment(index.column()));
    if (role == Qt::DecorationRole && index.column() == kId)
        return Icon(static_cast<int>(row.icon));
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
        case kId:
            return QString::number(task.GetId());
        case kProgress:
            return QString::fromStdString(row.progressText);
        case kSize:
            return QString::fromStdString(task.SizeText());
        case kTask:
            return QString::fromLatin1(task.TypeName());
        case kChan:
            return QString::fromStdString(task.AffinityText());
        case kSubject:
            return BytesText(task.GetSubject());
        case kNewsgroup:
            return BytesText(task.GetGroupName());
        case kSaveTo:
            return BytesText(task.GetSaveDir());
        default:
            return {};
    }
}

QVariant CQueueModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumns) return {};
    if (role == Qt::DisplayRole) return QString::fromLatin1(kTitles[section]);
    if (role == Qt::TextAlignmentRole) return static_cast<int>(ColumnAlignment(section));
    return {};
}

Qt::ItemFlags CQueueModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    if (!fullRow_ && index.column() != kId) return Qt::ItemIsEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

}  // namespace vexlo::ui
