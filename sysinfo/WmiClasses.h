#pragma once
#include "sysinfo/SysSources.h"
#include "sysinfo/WmiSources.h"

#include <QPair>

namespace orv {

// One object of a class: every property the class has, by canonical name.
struct WmiInstance {
    QList<QPair<QString, WmiValue>> properties;
    void Set(const QString& name, const WmiValue& v) { properties.append({name, v}); }
    const WmiValue* Find(const QString& name) const;
};

struct WmiClass {
    QString name;
    QString key;
    QStringList properties; // canonical names, the key among them
    QList<WmiInstance> (*enumerate)(const SysSources&);
};

const QList<WmiClass>& WmiClasses();
const WmiClass* FindWmiClass(const QString& name);

// PCI names from the PCI ID list ("vendor", "vendor device"); numbers when the list lacks them.
QString PciVendorName(const SysSources& s, unsigned vendor);
QString PciDeviceName(const SysSources& s, unsigned vendor, unsigned device);

} // namespace orv
