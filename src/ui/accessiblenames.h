#pragma once

class QObject;

// Installs, on the application, the filter that copies each widget's object
// name into its accessible description when the widget is polished (when the
// description is empty and the name does not start with "qt_"). Accessibility
// clients find every control by its name this way.
void InstallAccessibleNames(QObject *application);
