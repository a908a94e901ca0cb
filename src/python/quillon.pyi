"""Least-squares fits of the Quillon_L model catalogue over numpy arrays."""
from typing import Any, Iterable, Mapping, Optional, Sequence, Union

import numpy as np
import numpy.typing as npt

ArrayLike = npt.ArrayLike
Bounds = Union[Mapping[int, Sequence[Optional[float]]], Sequence[Optional[Sequence[Optional[float]]]]]

class FitResult:
    """The result of one method run on one data set."""
    method: str
    outcome: int
    message: str
    params: np.ndarray
    errors: np.ndarray
    chisq_dof: float
    dof: int
    npoints: int
    covariance: Optional[np.ndarray]
    correlation: Optional[np.ndarray]
    report: str
    log: str
    fixed: Optional[list[bool]]
    at_bound: Optional[list[bool]]
    suspect: Optional[bool]
    band: Optional[dict[str, Union[float, np.ndarray]]]
    global_fit: Optional[dict[str, Any]]

def fit(model: Union[int, str], x: ArrayLike, y: ArrayLike, sd: Optional[ArrayLike] = None, *,
        method: str = "Marquardt",
        p0: Union[None, Sequence[Optional[float]], Mapping[int, float]] = None,
        fixed: Union[None, Iterable[int], Mapping[int, float]] = None,
        bounds: Optional[Bounds] = None,
        n_cut: int = 10000, chi_cut: float = 1e-3, f_er: float = 1000.0,
        chisqdof_lim: float = 1.0, fixed_c: float = 20.0,
        stats: bool = False, search_starts: bool = False, precise: bool = False,
        bands: Union[None, bool, float] = None,
        share: Optional[Sequence[int]] = None) -> Union[FitResult, list[FitResult]]:
    """Fits model (an id 0..42, or a formula in X and A0..A31) to one set; a list of four results for method='ALL'.
    Raises ValueError when the set cannot be fitted."""

def fit_many(model: Union[int, str], sets: Iterable[Sequence[ArrayLike]], *,
             method: str = "Marquardt",
             p0: Union[None, Sequence[Optional[float]], Mapping[int, float]] = None,
             fixed: Union[None, Iterable[int], Mapping[int, float]] = None,
             bounds: Optional[Bounds] = None, jobs: int = 0,
             n_cut: int = 10000, chi_cut: float = 1e-3, f_er: float = 1000.0,
             chisqdof_lim: float = 1.0, fixed_c: float = 20.0,
             stats: bool = False, search_starts: bool = False, precise: bool = False,
             bands: Union[None, bool, float] = None,
             share: Optional[Sequence[int]] = None) -> list[Union[None, FitResult, list[FitResult]]]:
    """Fits every (x, y) or (x, y, sd) in one compute on all cores (jobs=0);
    None for a set that could not be fitted. share=[i, ...] then fits the sets
    jointly with those parameters shared (as --share); every result's
    global_fit holds the command line's JSON "global" object as a dict."""

def models() -> list[tuple[int, str, int]]:
    """The 43 models as (id, formula and name, parameter count)."""

def methods() -> list[str]:
    """The five method names."""
