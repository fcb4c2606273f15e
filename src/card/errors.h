#pragma once
#include <stdexcept>
#include <string>

// Errors of the card document. Messages are UTF-8 and meant for the user.
class CardError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Reading past the end of the data, or data that cannot be what the file
// says it is.
class ReadError : public CardError
{
public:
    using CardError::CardError;
};

class WriteError : public CardError
{
public:
    using CardError::CardError;
};
