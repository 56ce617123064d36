// `quillmere wmi`: the prefix's WMI repository, as wmic shows it.
//   wmi namespaces [NS]              every namespace below NS (default root)
//   wmi classes [NS]                 classes with superclass and keys
//   wmi instances CLASS              instances as a table
//   wmi get PATH                     one object's properties
//   wmi set PATH PROP=VALUE...       changes an instance's properties
//   wmi delete PATH                  deletes an instance
//   wmi query WQL                    SELECT * FROM CLASS [WHERE PROP = VALUE]
#pragma once

#include <iosfwd>

namespace CLI {
class App;
}

namespace quillmere::host {

void AddWmiCommand(CLI::App& app, std::ostream& out);

}  // namespace quillmere::host
