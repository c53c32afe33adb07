#include "ui/header_model.h"

#include "groups/header_list.h"
#include "ui/image_list.h"

namespace vexlo::ui {

namespace {

constexpr const char* kHeadings[4] = {"Header", "Life", "Lines", "From"};

QString FromView(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

CHeaderModel::CHeaderModel(CHeaderList& headers, QObject* parent)
    : QAbstractTableModel(parent),
      headers_(headers),
      newIcon_(ListIcon(kImageNewItem)),
      oldIcon_(ListIcon(kImageOldItem)) {
    headers_.SetResetHooks([this] { beginResetModel(); }, [this] { endResetModel(); });
}

CHeaderModel::~CHeaderModel() {
    headers_.SetResetHooks({}, {});
}

void CHeaderModel::SortByColumn(int column) {
    headers_.SortByColumn(column);
    // Same rows, new order: every cell may show another text now.
    if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

int CHeaderModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(headers_.Rows().size());
}

int CHeaderModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 4;
}

QVariant CHeaderModel::data(const QModelIndex& index, int role) const {
    // Rows may be asked for while a reload has emptied the list under a message box.
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const HeaderRow& row = headers_.Rows()[static_cast<size_t>(index.row())];
    if (role == Qt::DecorationRole && index.column() == 0) return row.isNew ? newIcon_ : oldIcon_;
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
        case 0:
            return FromView(headers_.Subject(row));
        case 1:
            return QString::fromStdString(CHeaderList::LifeText(row));
        case 2:
            return QString::number(row.lines);
        default:
            return FromView(headers_.Poster(row));
    }
}

QVariant CHeaderModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > 3)
        return {};
    return QString::fromLatin1(kHeadings[section]);
}

}  // namespace vexlo::ui
