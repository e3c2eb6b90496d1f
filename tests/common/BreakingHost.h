#pragma once

#include "hostlink/HostInterfaces.h"

#include <memory>

// A host whose command list breaks after a number of commands, as when the host goes away in the
// middle of a read.
class BreakingCommands : public host::HostCommands {
public:
    BreakingCommands(std::shared_ptr<host::HostCommands> inner, int breakAt)
        : m_inner(std::move(inner)), m_breakAt(breakAt) {}
    int Count() override { return m_inner->Count(); }
    std::shared_ptr<host::HostCommand> Item(int i) override { return m_inner->Item(i); }
    std::shared_ptr<host::HostCommand> FindByUniqueId(std::int32_t a, std::int32_t b) override {
        return m_inner->FindByUniqueId(a, b);
    }
    std::unique_ptr<host::HostCommandEnumerator> Enumerate() override {
        struct E : host::HostCommandEnumerator {
            BreakingCommands& o;
            int next = 0;
            explicit E(BreakingCommands& owner) : o(owner) {}
            std::shared_ptr<host::HostCommand> Next() override {
                if (next == o.m_breakAt)
                    throw host::HostError(QStringLiteral("Korvex closed the connection."), host::HostFault::Closed);
                return next < o.Count() ? o.m_inner->Item(next++) : nullptr;
            }
        };
        return std::make_unique<E>(*this);
    }

private:
    std::shared_ptr<host::HostCommands> m_inner;
    int m_breakAt;
};

// The same host application, with its active program's commands breaking.
class BreakingApplication : public host::HostApplication {
public:
    BreakingApplication(std::shared_ptr<host::HostApplication> inner, int breakAt)
        : m_inner(std::move(inner)), m_breakAt(breakAt) {}
    std::shared_ptr<host::HostPartProgram> ActivePartProgram() override {
        struct P : host::HostPartProgram {
            std::shared_ptr<host::HostPartProgram> in;
            int breakAt;
            QString PartName() override { return in->PartName(); }
            QString Folder() override { return in->Folder(); }
            QString Revision() override { return in->Revision(); }
            QString DrawingNumber() override { return in->DrawingNumber(); }
            QString FileName() override { return in->FileName(); }
            QString FullName() override { return in->FullName(); }
            std::shared_ptr<host::HostCommands> Commands() override {
                return std::make_shared<BreakingCommands>(in->Commands(), breakAt);
            }
            void Save() override { in->Save(); }
        };
        auto inner = m_inner->ActivePartProgram();
        if (!inner)
            return nullptr;
        auto p = std::make_shared<P>();
        p->in = inner;
        p->breakAt = m_breakAt;
        return p;
    }
    std::shared_ptr<host::HostApplicationEvents> Events() override { return m_inner->Events(); }
    QString Version() override { return m_inner->Version(); }
    void SetPlacement(int dispid, double value) override { m_inner->SetPlacement(dispid, value); }

private:
    std::shared_ptr<host::HostApplication> m_inner;
    int m_breakAt;
};
