// The "Server Group List" dialog over CServerGroupList: the server's groups
// that pass a filter, the refresh of the list from the server, and adding
// chosen groups to the newsgroup list. Main thread only.
#pragma once

class QWidget;

namespace vexlo {
class CAppContext;
class CGroupList;
}  // namespace vexlo

namespace vexlo::ui {

void RunServerGroupsDialog(QWidget* parent, CAppContext& context, CGroupList& groups);

}  // namespace vexlo::ui
