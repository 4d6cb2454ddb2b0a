#pragma once
// The transmitter operations on a port and its receive model, with a dialog
// that records what they show.

#include "tests/support/receive_rig.h"
#include "tests/support/recording_dialog.h"
#include "window/transmitter.h"

template <class Port>
class OperationsRig : public ReceiveRig<Port> {
public:
    using ReceiveRig<Port>::ReceiveRig;

    FakeDialog dialog;
    Transmitter transmitter{this->port, *this->block, dialog};
};
