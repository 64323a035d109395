#include <QApplication>

#include "common/files.h"
#include "platform/ui/messagebox.h"
#include "tpxadmin/ui/mainframe.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName("TPX PC Applications");
    QCoreApplication::setApplicationName("tpxadmin");

    std::filesystem::path home = tpx::tpxHome();
    tpx::SysStatus seeded = tpx::seedHome(home, tpx::shippedDataDir());
    if (!seeded)
        tpx::MessageBox::show(nullptr, "TpxAdmin", QString::fromStdString(seeded.message()),
                              tpx::MessageBox::OkOnly, tpx::MessageBox::Warning);

    tpx::admin::CMainFrame frame(home);
    frame.showMaximized();
    return app.exec();
}
