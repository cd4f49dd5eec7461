#pragma once

#include <QStringList>

namespace lumaro::admin {

// Each command takes the arguments after its name and returns the exit code.
int init(const QStringList& args);
// import-mdb [--charset NAME] SOURCE.mdb [TARGET.db]: a new shop from the old program's file.
int importMdb(const QStringList& args);
// backup [--database FILE] DEST: a consistent copy, safe while the program runs.
int backup(const QStringList& args);
// restore BACKUP [--database FILE]: the backup, checked, in the place of the shop file,
// which is kept beside it.
int restore(const QStringList& args);
// check [--database FILE]: 0 sound, 3 sound but with problems listed, 1 damaged.
int check(const QStringList& args);
// upgrade [--database FILE]: brings the shop to this program's version.
int upgrade(const QStringList& args);
int passwd(const QStringList& args);
// user add NAME [--role 老闆|店員] | list | passwd NAME | retire NAME | role NAME ROLE [--database FILE]
int user(const QStringList& args);
// export catalogue|sales|journal [--from DATE] [--to DATE] [--database FILE] FILE.csv
int exportData(const QStringList& args);

} // namespace lumaro::admin
