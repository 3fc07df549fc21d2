#include "cli/CliTool.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korimbo-cli"));
    korimbo::CCliTool tool;
    return tool.Run(app.arguments());
}
