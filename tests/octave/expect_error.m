## expect_error (f, identifier, text)
## Calls f and requires it to raise the error `identifier` with `text` in its message.
function expect_error (f, identifier, text)
  try
    f ();
  catch err
    assert (err.identifier, identifier);
    assert (! isempty (strfind (err.message, text)), ...
            sprintf ("message '%s' lacks '%s'", err.message, text));
    return;
  end_try_catch
  error ("expected the error %s", identifier);
endfunction
