"""The exceptions and warnings of quorvex, one class for each of the module's identifiers."""


class Error(Exception):
    """Every error of quorvex that is not a bad argument.

    ``identifier`` is the module's identifier (for example ``quorvex:retrievalFailed``),
    ``message`` its message as the module gives it, ``status`` the feed's status where the
    message carries one, and ``description`` the feed library's own description of the
    failure, where the library offers one ('' otherwise).
    """

    identifier = "quorvex:error"

    def __init__(self, message, identifier=None, status=None, description=""):
        super().__init__(message)
        self.message = message
        if identifier is not None:
            self.identifier = identifier
        self.status = status
        self.description = description


class AttachError(Error):
    """The feed refused to attach the database ("Database Attach failed with error N")."""

    identifier = "quorvex:attachFailed"


class DetachError(Error):
    """The feed refused to detach ("Detach error N")."""

    identifier = "quorvex:detachFailed"


class VersionError(Error):
    """The feed's version could not be read ("Get version error N")."""

    identifier = "quorvex:versionFailed"


class RetrievalError(Error):
    """A record could not be read ("Data retrieval error N")."""

    identifier = "quorvex:retrievalFailed"


class ApproxError(Error):
    """The history scan could not be positioned ("Get Approx failed N.")."""

    identifier = "quorvex:approxFailed"


class NextError(Error):
    """The history scan could not go on ("Get Next failed N.")."""

    identifier = "quorvex:nextFailed"


class CapacityError(Error):
    """A history or bar series too long to return."""

    identifier = "quorvex:capacityExceeded"


class FeedLibraryError(Error):
    """The feed library cannot be loaded or used (or the feed helper cannot serve it)."""

    identifier = "quorvex:feedLibrary"


class FeedStalledError(Error):
    """The feed stopped delivering, or the feed helper did not reply in time."""

    identifier = "quorvex:feedStalled"


class HelperLostError(Error):
    """The feed helper ended during the request; the next request starts a new one."""

    identifier = "quorvex:feedHelperLost"


class HelperError(Error):
    """The feed helper broke its protocol."""

    identifier = "quorvex:feedHelper"


class BadInputError(Error):
    """The module refused an input (the functions check their arguments before it can)."""

    identifier = "quorvex:badInput"


ERRORS = {cls.identifier: cls for cls in (
    AttachError, DetachError, VersionError, RetrievalError, ApproxError, NextError,
    CapacityError, FeedLibraryError, FeedStalledError, HelperLostError, HelperError,
    BadInputError)}


class QuorvexWarning(UserWarning):
    """Every warning of quorvex."""


class NoHistoryWarning(QuorvexWarning):
    """A history scan found no history for the security (quorvex:noHistory)."""


class HistoryIncompleteWarning(QuorvexWarning):
    """A history scan was cut by a failed delivery of the feed (quorvex:historyIncomplete)."""


class SeriesIncompleteWarning(QuorvexWarning):
    """A bar series ended on a status other than the feed's end of data."""


class NoBarsWarning(QuorvexWarning):
    """The feed could not read bars of the security."""


class SuspectDatabaseWarning(QuorvexWarning):
    """Quotes without a Symbol: the database most likely holds another kind of record."""


WARNINGS = {
    "quorvex:noHistory": NoHistoryWarning,
    "quorvex:historyIncomplete": HistoryIncompleteWarning,
    "quorvex:seriesIncomplete": SeriesIncompleteWarning,
    "quorvex:noBars": NoBarsWarning,
    "quorvex:suspectDatabase": SuspectDatabaseWarning,
}


class ModuleError(Exception):
    """What the extension raises for an error of the module: (identifier, message, feed
    description, reports); quorvex turns it into the Error subclass of the identifier."""
