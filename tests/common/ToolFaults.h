#pragma once

#include "VirtualTool.h"

#include <QList>
#include <QMetaType>
#include <QStringList>

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

// What goes wrong with a virtual tool, as one table cell: the devices attached instead of the
// tool, calls that fail, and command packets (counted from 1 since the tool's reset) whose reply
// comes a byte short or never, or whose row is not stored. Rows write ToolFaults().fail(...)...
struct ToolFaults {
    using Op = VirtualTool::Operation;
    using Failures = QList<std::pair<Op, int>>; // the nth call of an operation fails

    ToolFaults &devices(const QStringList &serials) { return set(serials_, serials); }
    ToolFaults &fail(Op op, int nth) { return set(failures_, failures_ + Failures{{op, nth}}); }
    ToolFaults &shortReply(int nth) { return set(shortReply_, nth); }
    ToolFaults &noReply(int nth) { return set(noReply_, nth); }
    ToolFaults &silentFrom(int nth) { return set(silentFrom_, nth); }
    ToolFaults &discardWrite(int nth) { return set(discardWrite_, nth); }

    bool fails(Op op) const
    {
        return std::any_of(failures_.begin(), failures_.end(),
                           [op](const auto &failure) { return failure.first == op; });
    }
    void applyTo(VirtualTool &tool) const
    {
        std::vector<VirtualTool::Device> attached;
        for (const QString &serial : serials_.value_or(QStringList()))
            attached.push_back({serial.toStdString(), "Varnex HDMI"});
        if (serials_)
            tool.attachDevices(attached);
        for (const auto &[op, nth] : failures_)
            tool.failOnCall(op, nth);
        // 0 stands for none: no packet is the 0th.
        tool.shortenReply(shortReply_);
        tool.withholdReply(noReply_);
        tool.withholdRepliesFrom(silentFrom_);
        tool.discardWrite(discardWrite_);
    }

private:
    template <typename Field, typename Value> ToolFaults &set(Field &field, const Value &value)
    {
        field = value;
        return *this;
    }

    std::optional<QStringList> serials_; // unset: the one tool a reset leaves
    Failures failures_;
    int shortReply_ = 0, noReply_ = 0, silentFrom_ = 0, discardWrite_ = 0;
};

Q_DECLARE_METATYPE(ToolFaults)
