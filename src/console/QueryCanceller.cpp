#include "QueryCanceller.h"

#include <string>

TQueryCanceller::TQueryCanceller(const TConnectionInfo& info, std::uint64_t connectionId)
    : FDataSet(std::make_shared<TMySQLDataSet>())
{
    FDataSet->SetUser(info.User);
    FDataSet->SetPassword(info.Password);
    FDataSet->SetHost(info.Host);
    FDataSet->SetPort(info.Port);
    FDataSet->SetTlsMode(info.TlsMode);
    FDataSet->SetCAFile(info.CAFile);
    FDataSet->SetPinnedFingerprint(info.PinnedFingerprint);
    FThread.Post([dataSet = FDataSet, connectionId] {
        if (!dataSet->Open())
            return;
        dataSet->Query("KILL QUERY " + std::to_string(connectionId));
        dataSet->Close();
    });
}

TQueryCanceller::~TQueryCanceller()
{
    FDataSet->Connection()->Interrupt();
    FThread.Stop(std::chrono::steady_clock::now() + StopBound);
}
