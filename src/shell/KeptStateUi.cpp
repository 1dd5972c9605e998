#include "KeptStateUi.h"

#include "KeptPasswords.h"
#include "KeptState.h"
#include "UnitTools.h"

#include <QAction>
#include <QPointer>
#include <QTimer>
#include <QWidget>

QAction* MakeKeptStateAction(QWidget* window)
{
    KeptState().SetProblemHandler([guard = QPointer<QWidget>(window)](const QString& message) {
        QTimer::singleShot(0, guard, [guard, message] {
            if (guard)
                ShowErrorMessage(guard, message);
        });
    });
    auto* action = new QAction(QStringLiteral("Запоминать подключения и историю"), window);
    action->setCheckable(true);
    action->setChecked(KeptState().Enabled());
    QObject::connect(action, &QAction::toggled, window, [](bool checked) {
        // The passwords go with the connections they belong to.
        if (!checked) {
            for (const TRecentConnection& connection : KeptState().RecentConnections())
                KeptPasswords::Remove(connection.Host, connection.Port, connection.User);
        }
        KeptState().SetEnabled(checked);
    });
    return action;
}
