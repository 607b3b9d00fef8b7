#pragma once

// The rows lists an instance hands to the host from its data calls.

#include "brevor/abi.h"
#include "framework/params_list.h"

namespace brevor {

// Created at the first LOAD, freed at the final UNLOAD (once no data call uses them) and, at
// the latest, with the instance.
class TRowsLists {
public:
    TRowsLists() = default;
    TRowsLists(const TRowsLists &) = delete;
    TRowsLists &operator=(const TRowsLists &) = delete;
    ~TRowsLists() { Free(); }

    // Keeps lists that are still there (a data call that outlived an UNLOAD may use them).
    void Create() {
        if (data_ == nullptr) data_ = params::NewParamsList(true);
        if (events_ == nullptr) events_ = params::NewParamsList(true);
    }
    void Free() noexcept {
        params::FreeParamsList(data_);
        data_ = nullptr;
        params::FreeParamsList(events_);
        events_ = nullptr;
    }

    TqelParamsList *DataRows() const { return data_; }
    TqelParamsList *EventRows() const { return events_; }

private:
    TqelParamsList *data_ = nullptr;
    TqelParamsList *events_ = nullptr;
};

}  // namespace brevor
