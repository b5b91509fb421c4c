## varargout = with_faults (faults, f)
## Calls f with the simulator's PCQW32_FAULTS set to faults (read at every attach), and
## clears them again whatever happens.
function varargout = with_faults (faults, f)
  setenv ("PCQW32_FAULTS", faults);
  unwind_protect
    [varargout{1:nargout}] = f ();
  unwind_protect_cleanup
    unsetenv ("PCQW32_FAULTS");
  end_unwind_protect
endfunction
