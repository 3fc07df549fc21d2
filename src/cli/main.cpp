#include "cli/CliTool.h"
#include "util/ProcessHardening.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    // Before any key exists: nothing of this process may end up in a core file.
    korimbo::ForbidCoreDumps();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korimbo-cli"));
    korimbo::CCliTool tool;
    return tool.Run(app.arguments());
}
