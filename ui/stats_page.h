// CPropPage_Stats, the settings sheet's "Estado" page: the transfer counters
// of all runs (" Aplicación ") and of this run (" Sesión "), files, articles
// and bytes sent and received, with thousands separators. "&Refrescar" reads
// them again. Main thread only.
#pragma once

#include <array>

#include "ui/settings_page.h"

class QLabel;

namespace vexlo {
class CTransferStats;
}

namespace vexlo::ui {

class CPropPage_Stats : public CSettingsPage {
    Q_OBJECT

  public:
    CPropPage_Stats(CTransferStats& stats, QWidget* parent = nullptr);

    // Reads the twelve counters (under the statistics' lock) into the labels.
    void Refresh();

  private:
    CTransferStats& stats_;
    // 1019 .. 1030: all runs sent files, articles, bytes, received files,
    // articles, bytes; then the same for this run.
    std::array<QLabel*, 12> values_{};
};

}  // namespace vexlo::ui
