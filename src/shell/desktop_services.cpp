#include "shell/appearance.h"
#include "shell/form_batch.h"
#include "shell/pipeline_work.h"
#include "shell/ui_services.h"
#include "shell/update_reminder.h"

#include <QCoreApplication>
#include <QDir>

namespace qf::shell {

FormServices DesktopServices()
{
    FormServices services;
    services.ui = std::make_shared<DesktopUiServices>();
    services.settings = std::make_shared<QtSettingsStore>();
    services.clock = [] { return QDateTime::currentDateTime(); };
    services.work = std::make_shared<PipelineWork>();
    services.systemTemp = QDir::tempPath();
    services.skinFile = FindSkin(QCoreApplication::applicationDirPath());
    return services;
}

} // namespace qf::shell
