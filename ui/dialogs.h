#pragma once

// How the main window opens the two settings dialogs. Each is shown modally through
// the choosers' seam and returns when the operator closes it.

#include <string>

class QWidget;

namespace varnel {

class Choosers;
class Connection;
class Prompter;
struct RunSettings;

//! The fact table conditions dialog on the open warehouse connection (dwm_archive
//! must exist outside configuration mode). In configuration mode the archive login
//! is read from and stored into the saved settings instead of dwm_archive. True
//! when the operator pressed OK and the conditions and the archive login were stored.
bool ShowFactTableFilters(QWidget* owner, Connection& warehouse, bool configMode,
                          RunSettings& savedSettings, Prompter& prompter, Choosers& choosers);

//! The dimension checks dialog on the warehouse connection (opened again when it was
//! closed). True when the operator pressed OK and the table selection was stored.
bool ShowSustainRec(QWidget* owner, Connection& warehouse, Prompter& prompter, Choosers& choosers);

}  // namespace varnel
